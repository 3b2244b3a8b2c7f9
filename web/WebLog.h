#pragma once
// The web server's log: one line for every refused or malformed request and every failure of
// the server, with its time, appended to c:\Tamblor\Web.log (past MostBytes it moves to Web.log.1 and a
// new one begins) and kept in memory, the last MostKept lines. Thread-safe.
#include <QString>
#include <QStringList>
#include <deque>
#include <mutex>

namespace tamblor::web {

class WebLog {
public:
    static constexpr qint64 MostBytes = 1024 * 1024;
    static constexpr size_t MostKept = 500;

    // An empty path keeps the lines in memory only.
    explicit WebLog(QString path = QString()) : path_(std::move(path)) {}

    void add(const QString& line);
    QStringList lines() const;
    // Whether a line kept in memory contains `text`.
    bool contains(const QString& text) const;

private:
    QString path_;
    mutable std::mutex mutex_;
    std::deque<QString> kept_;
};

} // namespace tamblor::web
