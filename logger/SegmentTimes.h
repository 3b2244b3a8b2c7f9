#pragma once
// Where the logger's segments begin and what they are called. Boundaries fall every N minutes
// of local wall-clock time from midnight (N divides 60); a day on which the clocks go forward
// has one hour fewer, the day they go back one more. Times are milliseconds since 1970 (UTC),
// so the repeated autumn hour is two different spans with two different names.
#include <QDate>
#include <QString>
#include <QTime>
#include <QtGlobal>
#include <vector>

namespace tamblor::logger {

namespace SegmentTimes {

// The first boundary strictly after `ms`, for segments of `minutes` minutes.
qint64 boundaryAfter(qint64 ms, int minutes);
// The boundary at or before `ms` (the start of the span that holds it).
qint64 boundaryAtOrBefore(qint64 ms, int minutes);

// The local date of an instant (the day folder a segment starting then goes into).
QDate localDate(qint64 ms);
// The local time with its offset, to the second: "2026-12-07T170000+0000".
QString stamp(qint64 ms);
// The offset from UTC in effect at an instant, in seconds, and as "+0100".
int utcOffsetSeconds(qint64 ms);
QString offsetText(int seconds);
// The instants a local date and time of day name, earliest first: one as a rule, two in the
// hour the clocks go back (its first pass and its second), none in the hour they skip.
std::vector<qint64> instantsOf(const QDate& date, const QTime& time);
// Frames at `rate` from local midnight of the instant's day to the instant.
qint64 framesSinceMidnight(qint64 ms, int rate);

} // namespace SegmentTimes

} // namespace tamblor::logger
