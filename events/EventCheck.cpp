#include "events/EventCheck.h"
#include "events/EventText.h"
#include "core/TimeText.h"
#include "schedule/EventTiming.h"
#include "schedule/NameTemplate.h"

namespace tamblor::events {

using schedule::RecordEvent;
namespace EventTiming = schedule::EventTiming;

namespace {

constexpr qint64 DayMs = 24LL * 3600 * 1000;

// How far ahead two events are compared: a week and a day covers every weekly pattern; a
// one-shot event further out is reached by going to its day.
qint64 horizonOf(const RecordEvent& a, const RecordEvent& b, qint64 nowMs)
{
    qint64 until = nowMs + 8 * DayMs;
    for (const RecordEvent* e : {&a, &b})
        if (e->isOneShot())
            until = std::max(until, QDateTime(e->date.addDays(2), QTime(0, 0)).toMSecsSinceEpoch());
    return until;
}

// The planned start on which a take of `event` will be named, for the example and the cut.
QDateTime namingStart(const RecordEvent& event, const QDateTime& now)
{
    if (const auto next = EventTiming::nextStart(event, now.toMSecsSinceEpoch()))
        return QDateTime::fromMSecsSinceEpoch(next->startMs);
    return QDateTime(event.isOneShot() ? event.date : now.date(), event.start);
}

} // namespace

std::optional<Overlap> firstOverlap(const RecordEvent& event, const std::vector<RecordEvent>& others, qint64 nowMs)
{
    std::optional<Overlap> first;
    qint64 firstMeet = 0;
    for (const RecordEvent& other : others) {
        if ((event.id != 0 && other.id == event.id) || !other.enabled || other.device != event.device)
            continue;
        const qint64 until = horizonOf(event, other, nowMs);
        // Occurrences that began before now may still be under way at now.
        const auto mine = EventTiming::startsBetween(event, nowMs - DayMs, until);
        const auto theirs = EventTiming::startsBetween(other, nowMs - DayMs, until);
        for (const auto& a : mine)
            for (const auto& b : theirs) {
                if (a.startMs < b.endMs && b.startMs < a.endMs && std::max(a.endMs, b.endMs) > nowMs) {
                    const qint64 meet = std::max(a.startMs, b.startMs);
                    if (!first || meet < firstMeet) {
                        first = Overlap{other, b.startMs};
                        firstMeet = meet;
                    }
                }
            }
    }
    return first;
}

EventCheck checkEvent(const RecordEvent& event, const std::vector<RecordEvent>& others, const QDateTime& now,
                      const QString& dateSeparator)
{
    EventCheck check;
    if (event.name.trimmed().isEmpty())
        check.errors << "Type a name for the event.";

    if (event.isOneShot()) {
        const QDateTime start(event.date, event.start);
        if (event.date < now.date())
            check.errors << QString("The date %1 has gone; choose today or a later day.").arg(dateText(event.date, dateSeparator));
        else if (start <= now)
            check.errors << QString("%1 today has gone; choose a later time or another day.").arg(timeOfDayText(event.start));
    } else if (event.weekdays == 0) {
        check.errors << "Tick the days the event records on, or choose one date.";
    }

    if (event.endKind == schedule::EndKind::Length) {
        if (event.lengthSeconds <= 0)
            check.errors << "The length must be longer than 0 seconds.";
        else if (event.lengthSeconds > RecordEvent::MaxSeconds)
            check.errors << QString("The length must be at most %1 seconds (27:46:39), the longest a take's length "
                                    "can be kept in the index.")
                                .arg(RecordEvent::MaxSeconds);
    } else if (event.end == event.start) {
        check.errors << "The end is the start: the take would last 0 seconds. (An end earlier than the start is on the next day.)";
    }

    if (event.destination == schedule::Destination::FixedSlot) {
        if (event.fixedSlot < 1 || event.fixedSlot > RecordEvent::MaxSlot)
            check.errors << QString("The slot must be a number from 1 to %1.").arg(RecordEvent::MaxSlot);
    } else {
        const QDateTime at = namingStart(event, now);
        const QString name = schedule::NameTemplate::expand(event.nameTemplate, event.name, at);
        if (name.trimmed().isEmpty())
            check.errors << "The name template makes an empty name: use {name}, {date}, {time} or some text.";
        else if (schedule::NameTemplate::isCut(event.nameTemplate, event.name, at))
            check.warnings << QString("The takes' names are longer than %1 characters and are cut: \"%2\" is named \"%3\".")
                                  .arg(schedule::NameTemplate::MaxLength)
                                  .arg(schedule::NameTemplate::expandUncut(event.nameTemplate, event.name, at), name);
    }

    if (check.storable() && event.enabled) {
        if (const auto overlap = firstOverlap(event, others, now.toMSecsSinceEpoch()))
            check.warnings << QString("\"%1\" records from the same input at %2. When the two meet, the one that "
                                      "starts later is not recorded and is reported as DeviceBusy.")
                                  .arg(overlap->other.name.trimmed(), dayAndTimeText(overlap->otherStartMs, dateSeparator));
    }
    return check;
}

} // namespace tamblor::events
