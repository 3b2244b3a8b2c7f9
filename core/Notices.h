#pragma once
// The one way the parts below the windows tell the operator something: a notice is a value
// (when, from where, how grave, the failure's number and text, the file or device concerned),
// handed to the program's Notices. The windowed program shows each in the message window; a
// program without windows logs them. A condition that lasts (an alarm, a missing device) is
// raised under a key and cleared again under the same key.
//
// No part below the windows names a window or reads one's text: what failed travels as a
// Notice or a Failure, never as a string on a screen.
#include "platform/Failure.h"
#include <QDateTime>
#include <QObject>
#include <QString>
#include <map>
#include <vector>

namespace tamblor {

class Clock;

struct Notice {
    enum class Severity { Info, Warning, Error };

    QDateTime time;
    QString source;  // the part that speaks: "recording", "playback", "scheduler", "database", ...
    Severity severity = Severity::Error;
    int number = 0;  // the failure's number; 0 for a notice that is no failure
    QString text;    // what the operator reads, whole
    QString subject; // the file or device concerned, where there is one
    QString key;     // a condition's key; empty for a notice that is told once

    // One line for a log: time, severity, source, text.
    QString logLine() const;
    static const char* name(Severity severity);
};

class Notices : public QObject {
    Q_OBJECT
public:
    explicit Notices(const Clock& clock, QObject* parent = nullptr);

    // Tells the operator once.
    void tell(const QString& source, const QString& text, Notice::Severity severity = Notice::Severity::Info,
              const QString& subject = {});
    // A failure as the operator reads it ("57 Device I/O error"), with any more words after it.
    void fail(const QString& source, const Failure& failure, const QString& subject = {});
    // A failure whose text has been worded whole by the caller (the number kept beside it).
    void fail(const QString& source, const Failure& failure, const QString& text, const QString& subject);
    void post(Notice notice);

    // A lasting condition: raised once under its key (raising it again with the same text is
    // no news), until clear() with that key.
    void raise(const QString& key, const QString& source, const QString& text, const QString& subject = {},
               Notice::Severity severity = Notice::Severity::Warning);
    void clear(const QString& key);
    bool isRaised(const QString& key) const { return raised_.count(key) > 0; }
    std::vector<Notice> raisedConditions() const;

    // The notices told or raised since the program started, oldest first (at most Kept).
    static constexpr size_t Kept = 5000;
    const std::vector<Notice>& history() const { return history_; }

signals:
    // A notice told once, or a condition raised: the operator should read it.
    void posted(const tamblor::Notice& notice);
    // A condition that was raised is over.
    void cleared(const tamblor::Notice& notice);

private:
    void keep(const Notice& notice);

    const Clock& clock_;
    std::map<QString, Notice> raised_;
    std::vector<Notice> history_;
};

} // namespace tamblor

Q_DECLARE_METATYPE(tamblor::Notice)
