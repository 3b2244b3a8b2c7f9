#pragma once
// Keeps the machine awake while the studio records: the platform's sleep lock from logind is
// held while a take is under way (by hand, or an event's) or an event is due within AheadMs,
// and let go of when neither is so. The lock's reason says why ("Recording slot 5", "Recording
// event \"News\"", "Event \"News\" due at 17:00"); when the reason changes, the new lock is
// taken before the old one goes. Logind is asked without waiting (the answer comes on the
// event loop), so the studio's clock never stands still for it. Without logind (no system bus,
// as in a container) every take records all the same; that is logged once, not shown.
#include "platform/SleepInhibitor.h"
#include <QString>
#include <QtGlobal>
#include <memory>

namespace tamblor {

class Core;
class RecordingSession;
class Scheduler;

class SleepGuard {
public:
    // An event due this soon keeps the machine awake already.
    static constexpr qint64 AheadMs = 600000;
    // The studio's tick looks again at most this often (a take beginning or ending: at once).
    static constexpr qint64 LookEveryMs = 1000;

    SleepGuard(Core& core, RecordingSession& recording, Scheduler& scheduler);
    ~SleepGuard();

    // Logind on the bus at `address` instead of the system bus's (a test's own).
    void setBusAddress(const QString& address);
    // Looks at the take and the next start; `now` skips the wait between looks.
    void update(bool now = false);
    // The next update() looks whatever the time: a take began or ended, the events changed.
    // (Not at once: a take of an event is armed before the scheduler says whose it is.)
    void lookSoon() { lookSoon_ = true; }
    // Why the machine must stay awake at this moment; empty when nothing calls for it.
    QString wanted() const;
    // The reason of the lock held (empty: none).
    QString heldWhy() const { return lock_ && lock_->isHeld() ? lockWhy_ : QString(); }
    // Whether logind has been asked and has not answered yet.
    bool asking() const { return asking_ && asking_->isPending(); }

private:
    void ask(const QString& why);
    void letGo();

    Core& core_;
    RecordingSession& recording_;
    Scheduler& scheduler_;
    QString busAddress_;
    std::unique_ptr<SleepInhibitor> lock_;    // held
    QString lockWhy_;
    std::unique_ptr<SleepInhibitor> asking_;  // asked for, not answered yet
    QString askingWhy_;
    QString refusedWhy_; // not asked for again while it stands
    bool told_ = false;
    qint64 lastLookMs_ = 0;
    bool looked_ = false;
    bool lookSoon_ = false;
};

} // namespace tamblor
