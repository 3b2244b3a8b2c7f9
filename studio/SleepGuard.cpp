#include "studio/SleepGuard.h"
#include "core/Core.h"
#include "studio/RecordingSession.h"
#include "studio/Scheduler.h"
#include <QDateTime>
#include <QDebug>

namespace tamblor {

namespace {
constexpr const char* Who = "Tamblor";
}

SleepGuard::SleepGuard(Core& core, RecordingSession& recording, Scheduler& scheduler)
    : core_(core), recording_(recording), scheduler_(scheduler)
{
}

SleepGuard::~SleepGuard() = default;

void SleepGuard::setBusAddress(const QString& address)
{
    letGo();
    busAddress_ = address;
    refusedWhy_.clear();
}

QString SleepGuard::wanted() const
{
    if (const auto event = scheduler_.recording())
        return QString("Recording event \"%1\"").arg(event->name);
    if (recording_.state() != RecordingSession::State::Idle)
        return QString("Recording slot %1").arg(recording_.slot());
    const qint64 now = core_.clock().now().toMSecsSinceEpoch();
    if (const auto next = scheduler_.next(); next && next->occurrence.startMs - now <= AheadMs) {
        const QTime at = QDateTime::fromMSecsSinceEpoch(next->occurrence.startMs).time();
        return QString("Event \"%1\" due at %2").arg(next->event.name, at.toString(at.second() ? "HH:mm:ss" : "HH:mm"));
    }
    return {};
}

void SleepGuard::update(bool now)
{
    const qint64 steady = core_.clock().steadyMs();
    if (!now && !lookSoon_ && looked_ && steady - lastLookMs_ < LookEveryMs)
        return;
    looked_ = true;
    lookSoon_ = false;
    lastLookMs_ = steady;
    const QString why = wanted();
    if (why.isEmpty()) {
        letGo();
        refusedWhy_.clear();
        return;
    }
    if (why == lockWhy_ && lock_ && lock_->isHeld())
        return;
    if (why == askingWhy_ && asking_ && asking_->isPending())
        return;
    if (why != refusedWhy_)
        ask(why);
}

void SleepGuard::ask(const QString& why)
{
    // The lock held stays until the new one is given.
    asking_ = std::make_unique<SleepInhibitor>(busAddress_);
    askingWhy_ = why;
    const auto refused = [this, why](const QString& reason) {
        refusedWhy_ = why;
        // Quiet: logged once, never in the operator's way (a container has no logind).
        if (!told_)
            qInfo().noquote() << "Takes do not keep the machine from sleeping:" << reason;
        told_ = true;
    };
    const bool asked = asking_->request(Who, why, [this, refused](bool held) {
        if (!held) {
            refused(asking_->reason());
            return;
        }
        // Taken over: the old lock goes as the new one is kept.
        lock_ = std::move(asking_);
        lockWhy_ = askingWhy_;
        askingWhy_.clear();
    });
    if (!asked) {
        refused(asking_->reason());
        asking_.reset();
        askingWhy_.clear();
    }
}

void SleepGuard::letGo()
{
    asking_.reset();
    askingWhy_.clear();
    lock_.reset();
    lockWhy_.clear();
}

} // namespace tamblor
