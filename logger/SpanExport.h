#pragma once
// One wave file of a span of wall-clock time, joined from the logger's segment files,
// sample-exact: its first frame is the one due at the start, its last the one before the end,
// and every frame between is there once, across the joints.
//
// When a frame of a segment is due: the segment's first frame at its recorded start, the rest at
// the input's own rate, which the segment's span shows (its frames over the time from its start
// to the boundary it was cut at), or, for a segment that ended early, the rate measured against
// the system clock (its ppm). A span the logger has no segment for (the logger not running,
// a segment deleted by retention) is filled with silence of its length, so that every later
// frame keeps its time, and the result says where each fill is in the file and why. A segment
// whose file is missing or damaged is a failure that names it: that is not a gap in the
// recording but a fault the operator must see.
//
// The file is 16-bit PCM WAV, 24-bit when a segment in the span is 24-bit; a mono segment among
// stereo ones is heard on both channels. It carries a bext chunk with the time of its first
// frame. It is written beside the target and put in its place through the safe replace, on the
// disk, before the export says it is done; a cancel or a failure leaves no file.
#include "logger/LoggerStore.h"
#include "logger/SegmentRecord.h"
#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

namespace tamblor::logger {

// A stretch of silence in the exported file: where (frames from its start), how long, the
// wall-clock span it stands for and why it is silent.
struct ExportFill {
    qint64 position = 0;
    qint64 frames = 0;
    qint64 startMs = 0;
    qint64 endMs = 0;
    QString cause;
};

struct ExportResult {
    enum class Status { Done, Cancelled, Failed };
    Status status = Status::Failed;
    QString problem; // Failed: why, naming the file
    QString target;
    qint64 frames = 0;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    // Silence the export put where there is no recording.
    std::vector<ExportFill> fills;
    // Silence the logger put in the segments for frames its input lost.
    std::vector<ExportFill> losses;
    // Segment files the span was taken from, in order.
    QStringList files;

    bool done() const { return status == Status::Done; }
    // What the operator is told: the file, its length, and every fill with its place.
    QString summary() const;
};

// Frames done of all frames; false stops the export (a cancel).
using ExportProgress = std::function<bool(qint64 done, qint64 total)>;

class SpanExport {
public:
    // The largest file: a WAV's sizes are 32-bit.
    static constexpr qint64 MaxDataBytes = 0xFFFFFFFFll - 4096;

    // The segments (in any order; only those with a file on the disk) and the logger's rows of
    // spans not recorded, which give the fills their cause.
    SpanExport(std::vector<SegmentRecord> segments, std::vector<Gap> gaps);

    // Writes the frames from the one due at `startMs` to the one before `endMs` (UTC ms) into
    // `target` (a native path). Never throws: the outcome is the result.
    ExportResult exportTo(const QString& target, qint64 startMs, qint64 endMs, const ExportProgress& progress = {}) const;

private:
    std::vector<SegmentRecord> segments_;
    std::vector<Gap> gaps_;
};

// "2026-12-07 17:00:00.000 +0000": a wall-clock instant as the export names it.
QString exportTimeText(qint64 ms);

} // namespace tamblor::logger
