#include "schedule/EventTiming.h"
#include <ctime>

namespace tamblor::schedule::EventTiming {

namespace {

constexpr qint64 DaySeconds = 24 * 3600;
// Occurrences of a weekly event are looked for this many days around an instant; a take never
// lasts longer than a day.
constexpr int SearchDays = 8;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Local wall-clock seconds counted as if local time were UTC.
qint64 wallSeconds(const QDate& day, const QTime& time)
{
    static const QDate epoch(1970, 1, 1);
    return epoch.daysTo(day) * DaySeconds + time.msecsSinceStartOfDay() / 1000;
}

int offsetAtSeconds(qint64 seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return static_cast<int>(local.tm_gmtoff);
}

} // namespace

int utcOffsetAt(qint64 ms)
{
    return offsetAtSeconds(floorDiv(ms, 1000));
}

QDate localDay(qint64 ms)
{
    const qint64 s = floorDiv(ms, 1000);
    const qint64 wall = s + offsetAtSeconds(s);
    return QDate(1970, 1, 1).addDays(floorDiv(wall, DaySeconds));
}

LocalInstant instantOf(const QDate& day, const QTime& time)
{
    const qint64 wall = wallSeconds(day, time);
    const int before = offsetAtSeconds(wall - DaySeconds);
    const int after = offsetAtSeconds(wall + DaySeconds);
    std::optional<qint64> best;
    for (int offset : {before, after}) {
        const qint64 t = wall - offset;
        if (offsetAtSeconds(t) == offset && (!best || t < *best))
            best = t;
    }
    if (best)
        return {*best * 1000, false};
    // In the gap of a change forward: the first instant with the later offset. It lies between
    // the wall time read with the later offset and with the earlier one.
    qint64 lo = wall - after; // still the earlier offset here
    qint64 hi = wall - before;
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (offsetAtSeconds(mid) == before)
            lo = mid;
        else
            hi = mid;
    }
    return {hi * 1000, true};
}

std::optional<Occurrence> occurrenceOn(const RecordEvent& event, const QDate& day)
{
    if (event.isOneShot() ? day != event.date : !event.runsOnWeekday(day.dayOfWeek()))
        return std::nullopt;
    const LocalInstant start = instantOf(day, event.start);
    Occurrence o{day, start.ms, start.ms + qint64(event.plannedSeconds()) * 1000, start.moved};
    if (event.endKind == EndKind::TimeOfDay) {
        const QDate endDay = event.start < event.end ? day : day.addDays(1);
        const qint64 end = instantOf(endDay, event.end).ms;
        // Across a change of the clocks the take ends when the clock on the wall says so.
        if (end > o.startMs)
            o.endMs = end;
    }
    return o;
}

std::optional<Occurrence> nextStart(const RecordEvent& event, qint64 fromMs)
{
    if (event.isOneShot()) {
        auto o = occurrenceOn(event, event.date);
        if (o && o->startMs >= fromMs)
            return o;
        return std::nullopt;
    }
    const QDate first = localDay(fromMs).addDays(-1);
    for (int d = 0; d <= SearchDays; ++d) {
        auto o = occurrenceOn(event, first.addDays(d));
        if (o && o->startMs >= fromMs)
            return o;
    }
    return std::nullopt;
}

std::optional<EventStart> soonestStart(const std::vector<RecordEvent>& events, qint64 fromMs)
{
    std::optional<EventStart> soonest;
    for (const RecordEvent& e : events) {
        if (!e.enabled)
            continue;
        const auto o = nextStart(e, fromMs);
        if (o && (!soonest || o->startMs < soonest->occurrence.startMs))
            soonest = EventStart{e, *o};
    }
    return soonest;
}

std::vector<Occurrence> startsBetween(const RecordEvent& event, qint64 afterMs, qint64 untilMs)
{
    std::vector<Occurrence> found;
    if (untilMs <= afterMs)
        return found;
    const QDate last = localDay(untilMs).addDays(1);
    for (QDate day = localDay(afterMs).addDays(-1); day <= last; day = day.addDays(1)) {
        auto o = occurrenceOn(event, day);
        if (o && o->startMs > afterMs && o->startMs <= untilMs)
            found.push_back(*o);
    }
    return found;
}

std::optional<Occurrence> underWayAt(const RecordEvent& event, qint64 atMs)
{
    const QDate today = localDay(atMs);
    for (const QDate& day : {today.addDays(-1), today}) {
        auto o = occurrenceOn(event, day);
        if (o && o->startMs <= atMs && atMs < o->endMs)
            return o;
    }
    return std::nullopt;
}

} // namespace tamblor::schedule::EventTiming
