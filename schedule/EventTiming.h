#pragma once
// When an event's occurrences start and end, in the program's time zone (the TZ of the
// process), as pure functions of the event and an instant.
//
// Clock changes: a time of day that occurs twice (clocks going back) starts once, at its first
// occurrence; a time of day that does not exist (clocks going forward) starts at the first
// instant after the gap and is marked `moved`, so the run says it started late.
#include "schedule/RecordEvent.h"
#include <QDate>
#include <QTime>
#include <optional>
#include <vector>

namespace tamblor::schedule {

struct Occurrence {
    QDate day;          // the local day the event is planned on
    qint64 startMs = 0; // ms since 1970, UTC
    qint64 endMs = 0;
    bool moved = false; // the planned time of day did not exist on that day

    bool operator==(const Occurrence&) const = default;
};

namespace EventTiming {

struct LocalInstant {
    qint64 ms = 0;
    bool moved = false;
};
// The instant of a local wall-clock time: the earlier one when it occurs twice, the first
// instant after the gap (moved) when it does not occur.
LocalInstant instantOf(const QDate& day, const QTime& time);
// The local day of an instant.
QDate localDay(qint64 ms);
// The offset of local time from UTC at an instant, in seconds.
int utcOffsetAt(qint64 ms);

// The occurrence planned on a local day, if the event runs that day (enabled or not).
std::optional<Occurrence> occurrenceOn(const RecordEvent& event, const QDate& day);
// The first occurrence starting at or after `fromMs`.
std::optional<Occurrence> nextStart(const RecordEvent& event, qint64 fromMs);
// The soonest start at or after `fromMs` among the enabled events, with its event (the first
// listed of those starting together).
struct EventStart {
    RecordEvent event;
    Occurrence occurrence;
};
std::optional<EventStart> soonestStart(const std::vector<RecordEvent>& events, qint64 fromMs);
// The occurrences starting after `afterMs` and not after `untilMs`, in order.
std::vector<Occurrence> startsBetween(const RecordEvent& event, qint64 afterMs, qint64 untilMs);
// The occurrence under way at an instant (started at or before it, ending after it).
std::optional<Occurrence> underWayAt(const RecordEvent& event, qint64 atMs);

} // namespace EventTiming

} // namespace tamblor::schedule
