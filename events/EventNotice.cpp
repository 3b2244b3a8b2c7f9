#include "events/EventNotice.h"
#include "app/Application.h"
#include "events/EventText.h"
#include "studio/Scheduler.h"
#include "schedule/EventTiming.h"

namespace tamblor::events {

namespace {
constexpr qint64 DayMs = 24LL * 3600 * 1000;
}

EventNotice::EventNotice(Application& app, Scheduler& scheduler, schedule::EventStore& events,
                         schedule::RunStore& runs)
    : QObject(&events), app_(app), scheduler_(&scheduler), events_(&events), runs_(&runs)
{
    connect(&events, &schedule::EventStore::eventChanged, this, [this] { eventsChanged_ = true; });
    connect(&events, &schedule::EventStore::eventRemoved, this, [this] { eventsChanged_ = true; });
    connect(&runs, &schedule::RunStore::runChanged, this, [this] { runsChanged_ = true; });
    app_.setMenuNotice(this);
}

EventNotice::~EventNotice()
{
    if (app_.menuNotice() == this)
        app_.setMenuNotice(nullptr);
}

std::optional<EventNotice::Next> EventNotice::next(qint64 nowMs)
{
    if (!events_)
        return std::nullopt;
    const bool come = next_ && nowMs >= next_->startMs;
    if (eventsChanged_ || come || nowMs < plannedAtMs_) {
        eventsChanged_ = false;
        plannedAtMs_ = nowMs;
        next_.reset();
        if (const auto soonest = schedule::EventTiming::soonestStart(events_->all(), nowMs))
            next_ = Next{soonest->event.name.trimmed(), soonest->occurrence.startMs};
    }
    return next_;
}

QString EventNotice::recording(qint64 nowMs)
{
    if (scheduler_)
        if (const auto event = scheduler_->recording())
            return event->name.trimmed();
    if (!runs_)
        return {};
    readRuns();
    for (const schedule::RecordRun& run : underWay_)
        if ((run.scheduledStartMs <= nowMs || run.firstSampleMs) && !(scheduler_ && scheduler_->runWaitsToBeStored(run)))
            return run.eventName.trimmed();
    return {};
}

void EventNotice::readRuns()
{
    if (!runsChanged_ || !runs_)
        return;
    runsChanged_ = false;
    underWay_ = runs_->underWay();
    unseen_ = runs_->unseen().size();
}

QString EventNotice::attention()
{
    readRuns();
    if (unseen_ == 0)
        return {};
    return unseen_ == 1 ? QString("1 result to see in Tools, Record Events")
                        : QString("%1 results to see in Tools, Record Events").arg(unseen_);
}

QString EventNotice::line(const QDateTime& now)
{
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QString text;
    const QString name = recording(nowMs);
    if (!name.isEmpty()) {
        text = "Recording " + name;
    } else if (const auto n = next(nowMs)) {
        const qint64 left = n->startMs - nowMs;
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(n->startMs);
        text = left >= DayMs
                   ? QString("Next: %1 on %2").arg(n->name, dayAndTimeText(n->startMs, app_.clock().dateSeparator()))
                   : QString("Next: %1 at %2, in %3").arg(n->name, timeOfDayText(start.time()), countdownText(left));
    }
    const QString seen = attention();
    if (!seen.isEmpty())
        text += (text.isEmpty() ? "" : "\n") + seen;
    return text;
}

QString EventNotice::endQuestion(const QDateTime& now)
{
    const qint64 nowMs = now.toMSecsSinceEpoch();
    const QString name = recording(nowMs);
    if (!name.isEmpty())
        return QString("\"%1\" is being recorded. If Tamblor ends now, the take ends short and is kept as far "
                       "as it goes.\n\nEnd Tamblor?")
            .arg(name);
    const auto n = next(nowMs);
    if (!n || n->startMs - nowMs >= DayMs)
        return {};
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(n->startMs);
    const QString day = start.date() == now.date() ? QString("today") : QString("tomorrow");
    return QString("\"%1\" is due at %2 %3 (in %4). Events are recorded only while Tamblor runs.\n\nEnd Tamblor?")
        .arg(n->name, timeOfDayText(start.time()), day, countdownText(n->startMs - nowMs));
}

} // namespace tamblor::events
