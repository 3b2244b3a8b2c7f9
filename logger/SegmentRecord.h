#pragma once
// What the logger knows of one segment: where and when it begins, how long it was meant to be
// and is, what was lost in it and what it sounded like. The row the logger's database keeps.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cmath>
#include <optional>
#include <vector>

namespace tamblor::logger {

enum class SegmentResult {
    Ok,
    Short,    // begun after its boundary (the logger started) or ended before the next (it stopped)
    Gap,      // frames the input lost were filled with silence
    Silent,   // dead air for at least half its length
    Clipped,  // full-scale runs in it
    DiskFull, // writing failed; the file ends early
};
QString resultText(SegmentResult result);
std::optional<SegmentResult> resultFromText(const QString& text);

// Frames filled with silence in a segment: where (frames from the segment's start) and how many.
struct Loss {
    qint64 position = 0;
    qint64 frames = 0;
    bool operator==(const Loss&) const = default;
};

struct SegmentFigures {
    double integratedLufs = -HUGE_VAL;
    double rangeLu = 0;
    double truePeakDbtp = -HUGE_VAL;
    double maxMomentaryLufs = -HUGE_VAL;
    double maxShortTermLufs = -HUGE_VAL;
    double longestSilenceSeconds = 0;
    qint64 clippedRuns = 0;
};

enum class FileEncoding { Wav16, Wav24, Flac };
QString encodingText(FileEncoding encoding);
std::optional<FileEncoding> encodingFromText(const QString& text);
QString suffixOf(FileEncoding encoding);

// The copy of a segment in the second folder (another disk). Each copy has its own fate: a
// disk that fails ends its copy early and the other carries on.
struct SegmentCopy {
    QString path; // native; empty: there is no second folder
    qint64 frames = 0;
    QByteArray sha256; // hex
    QString problem;   // empty: it holds every frame of the segment
    bool exists() const { return !path.isEmpty(); }
};

struct SegmentRecord {
    qint64 id = 0; // the row's number in the database (0 before it is stored)
    QString path;  // native; the copy in the logger's folder
    qint64 startMs = 0;     // wall-clock time its first frame was due
    int utcOffsetSeconds = 0;
    qint64 boundaryMs = 0;  // the boundary the span begins at (at or before startMs)
    qint64 endMs = 0;       // the boundary it is meant to end at
    int sampleRate = 0;
    int channels = 0;
    qint64 plannedFrames = 0; // the span from startMs to endMs at the nominal rate
    qint64 frames = 0;
    std::vector<Loss> losses;
    bool closed = false;
    std::optional<SegmentResult> result; // none while it is being written
    QString reason;
    SegmentFigures figures;
    double ppm = 0;
    QString clockSync; // "yes", "no" or "unknown"
    QByteArray sha256; // hex
    std::optional<qint64> deletedMs; // when retention deleted the file

    // Why the copy at `path` does not hold every frame of the segment (empty: it does). A
    // segment is DiskFull only when no copy holds it whole.
    QString problem;
    SegmentCopy second;

    // A copy that holds every frame, the one in the logger's folder first; empty when none does.
    QString wholePath() const
    {
        if (problem.isEmpty())
            return path;
        return second.exists() && second.problem.isEmpty() ? second.path : QString();
    }
    // The copy to read: a whole one, else the logger's folder's (whose reading tells what is wrong).
    QString readPath() const
    {
        const QString whole = wholePath();
        return whole.isEmpty() ? path : whole;
    }
    // Every copy's file, the logger's folder first.
    QStringList paths() const { return second.exists() ? QStringList{path, second.path} : QStringList{path}; }
};

// Above this many ppm between the input and the system clock the row carries a warning.
inline constexpr double PpmWarning = 200.0;

} // namespace tamblor::logger
