#include "logger/SegmentTimes.h"
#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace tamblor::logger::SegmentTimes {

namespace {

QDateTime local(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The boundary after `ms` as it would fall if the offset were `offset` seconds throughout,
// and whether the offset at that instant really is `offset`.
struct Candidate {
    qint64 ms;
    bool consistent;
};
Candidate candidateAfter(qint64 ms, int offsetS, qint64 periodMs)
{
    const qint64 localMs = ms + qint64(offsetS) * 1000;
    const qint64 next = (floorDiv(localMs, periodMs) + 1) * periodMs - qint64(offsetS) * 1000;
    return {next, utcOffsetSeconds(next) == offsetS};
}

} // namespace

int utcOffsetSeconds(qint64 ms)
{
    return local(ms).offsetFromUtc();
}

qint64 boundaryAfter(qint64 ms, int minutes)
{
    const qint64 period = qint64(minutes) * 60000;
    // The offset now, and the one at the first candidate (a change of the clocks may lie
    // between): the boundary is the earliest candidate that agrees with its own offset.
    const int now = utcOffsetSeconds(ms);
    const Candidate first = candidateAfter(ms, now, period);
    if (first.consistent)
        return first.ms;
    const int then = utcOffsetSeconds(first.ms);
    const Candidate second = candidateAfter(ms, then, period);
    if (second.consistent)
        return second.ms;
    return first.ms;
}

qint64 boundaryAtOrBefore(qint64 ms, int minutes)
{
    // The boundary after a moment one period earlier, stepped on while it stays at or before.
    qint64 b = boundaryAfter(ms - qint64(minutes) * 60000 - 1, minutes);
    while (true) {
        const qint64 next = boundaryAfter(b, minutes);
        if (next > ms)
            return b;
        b = next;
    }
}

QDate localDate(qint64 ms)
{
    return local(ms).date();
}

QString offsetText(int seconds)
{
    const int a = std::abs(seconds) / 60;
    return QString("%1%2%3").arg(seconds < 0 ? '-' : '+').arg(a / 60, 2, 10, QChar('0')).arg(a % 60, 2, 10, QChar('0'));
}

QString stamp(qint64 ms)
{
    const QDateTime t = local(ms);
    return t.toString("yyyy-MM-ddTHHmmss") + offsetText(t.offsetFromUtc());
}

std::vector<qint64> instantsOf(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    // The wall-clock time read as if it were UTC, less each offset in force around it (a day
    // either side: no zone changes its clocks twice within a day); those that agree are it.
    constexpr qint64 DayMs = 86400000;
    const qint64 wall = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    std::vector<qint64> out;
    for (int offset : {utcOffsetSeconds(wall - DayMs), utcOffsetSeconds(wall + DayMs)}) {
        const qint64 t = wall - qint64(offset) * 1000;
        if (utcOffsetSeconds(t) == offset && (out.empty() || out.front() != t))
            out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

qint64 framesSinceMidnight(qint64 ms, int rate)
{
    const qint64 midnight = local(ms).date().startOfDay(Qt::LocalTime).toMSecsSinceEpoch();
    return (ms - midnight) * rate / 1000;
}

} // namespace tamblor::logger::SegmentTimes
