#pragma once
// What the logger has of each hour: a cell per local hour of each day, coloured by the worst of
// what covers it (the results of its segments, the spans recorded as not recorded, time nothing
// accounts for, files deleted by retention), whether a hold keeps it, and the words for its
// hover. Also which segment file, at which frame, holds a given moment.
//
// Hours are real hours from local midnight, each named by its real start: the day the clocks go
// forward has 23 cells (no 01:00 in London), the day they go back 25 (01:00 +0100 and 01:00
// +0000). A pure function of the logger's rows and the time now: no database, no window.
#include "logger/LoggerStore.h"
#include "logger/SegmentRecord.h"
#include <QDate>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace tamblor::logger {

// In rising order of how bad it is: a cell shows the worst that covers any part of it.
enum class CoverageState {
    Future,     // not yet recorded
    Ok,
    Recording,  // the segment being written now
    Deleted,    // recorded, then deleted by retention
    Short,
    Clipped,
    Silent,
    Gap,        // frames the input lost, filled with silence
    Missing,    // past time that no segment and no recorded span accounts for
    Unrecorded, // a span the logger recorded as not recorded, with its cause
    DiskFull,
};
inline constexpr int CoverageStateCount = 11;
// "OK", "Not recorded", ...: what the legend and the hover say.
QString stateText(CoverageState state);
// "ok", "missing", ...: the name in JSON and in the pages' classes.
QString stateKey(CoverageState state);
// "#2e7d32": the one colour of a state, in the window and on the page.
QString stateColour(CoverageState state);
CoverageState stateOf(SegmentResult result);

struct CoverageRows {
    std::vector<SegmentRecord> segments; // by start
    std::vector<Gap> gaps;
    std::vector<Hold> holds; // not lifted
    bool loggerRunning = false;
};

struct CoverageCell {
    qint64 startMs = 0;
    qint64 endMs = 0;
    int hour = 0;             // local hour of its start: the grid's column
    int utcOffsetSeconds = 0; // in effect at its start
    QString label;            // "01:00 +0100"
    CoverageState state = CoverageState::Future;
    bool held = false;
    QString reason; // lines for the hover: the hour and its state first
};

struct CoverageDay {
    QDate date;
    std::vector<CoverageCell> cells; // in time order: 23, 24 or 25
};

// Where a moment plays from: the segment's file and the frame due then.
struct PlayPosition {
    qint64 segmentId = 0;
    QString path;
    qint64 frame = 0;
    qint64 segmentStartMs = 0;
    int sampleRate = 0;
};

class LoggerCoverage {
public:
    LoggerCoverage(CoverageRows rows, qint64 nowMs);

    // The hours of a local day, not yet judged.
    static std::vector<CoverageCell> hoursOf(const QDate& date);
    // The span [from, to) that `count` days ending with `newest` cover.
    static std::pair<qint64, qint64> span(const QDate& newest, int count);

    CoverageDay day(const QDate& date) const;
    // Newest first.
    std::vector<CoverageDay> days(const QDate& newest, int count) const;
    // One span judged (an hour of hoursOf(), or any other).
    CoverageCell judge(CoverageCell cell) const;

    // The kept segment that holds `ms`; when none does, the first that begins after it and before
    // `untilMs` (a click on a part of an hour that was not recorded plays what follows).
    std::optional<PlayPosition> positionAt(qint64 ms, qint64 untilMs = 0) const;

    const CoverageRows& rows() const { return rows_; }
    qint64 nowMs() const { return nowMs_; }

private:
    // Where a segment's sound ends: its frames, or for one being written now, the time now.
    qint64 recordedEnd(const SegmentRecord& s) const;
    bool beingWritten(const SegmentRecord& s) const;

    CoverageRows rows_;
    qint64 nowMs_;
};

} // namespace tamblor::logger
