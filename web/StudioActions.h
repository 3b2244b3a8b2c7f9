#pragma once
// What a request may ask of the studio beyond looking: the operator's actions and the audit
// rows. The web router calls these on the server's threads; the studio's side (StudioDesk)
// carries them out on the user-interface thread and answers.
#include "web/AuditTrail.h"
#include <QString>

namespace tamblor::web {

class StudioActions {
public:
    enum class Action { StartTake, StopTake, RecordNow };
    struct Answer {
        bool done = false;
        QString text; // what happened, or why not
    };
    virtual ~StudioActions() = default;
    // Carries out an action and waits for its answer.
    virtual Answer perform(Action action, qint64 eventId) = 0;
    // Keeps an audit row (without waiting for it to be written).
    virtual void audit(const AuditRow& row) = 0;
};

} // namespace tamblor::web
