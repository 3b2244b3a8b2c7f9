#pragma once
// The studio's side of the web server's actions, on the user-interface thread: a request's
// action is posted to this object's thread (a queued call), carried out there on the studio and
// answered; the server's thread waits for the answer at most AnswerMs, and not at all once the
// desk is closed (the program ending). The audit rows are posted the same way and written to the
// database there.
//
// A take by hand starts writing at once whatever the start mode; only a take by hand is stopped
// (a record event's take runs to its planned end); "Record now" is the scheduler's.
#include "web/StudioActions.h"
#include <QObject>
#include <atomic>
#include <functional>

namespace tamblor {
class Core;
class Studio;
} // namespace tamblor

namespace tamblor::web {

class AuditTrail;
class WebLog;

class StudioDesk : public QObject, public StudioActions {
    Q_OBJECT
public:
    static constexpr int AnswerMs = 10000;

    StudioDesk(Core& app, Studio& studio, AuditTrail& audit, WebLog& log, QObject* parent = nullptr);

    Answer perform(Action action, qint64 eventId) override;
    void audit(const AuditRow& row) override;

    // No action is waited for from now on (they are answered "the program is ending").
    void close() { closed_ = true; }
    void open() { closed_ = false; }

    // Carries out an action on this thread.
    Answer carryOut(Action action, qint64 eventId);

private:
    Core& app_;
    Studio& studio_;
    AuditTrail& audit_;
    WebLog& log_;
    std::atomic<bool> closed_{false};
};

} // namespace tamblor::web
