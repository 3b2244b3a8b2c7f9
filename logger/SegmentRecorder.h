#pragma once
// Cuts the input into segment files at the wall-clock boundaries, sample-exact: every frame the
// input gives lands in exactly one file, in order. The cut falls at the first frame due at or
// after the boundary by the FrameClock (the input's own count against the wall clock, following
// their drift), so a segment's frame count absorbs the drift. Frames the input lost are filled
// with silence where they were lost, and noted in the segment as a Loss, so that every later
// frame keeps its time. A stall is not a loss until the input shows it: a sound server that
// stalls often hands over what it kept when it comes back, and those frames are written where
// they belong, with no silence before them.
//
// With a second folder (another disk) every frame is written to both files as it comes, so a
// program killed outright loses the same last moments from both. Each copy has its own fate: a
// copy whose write fails (a full, unplugged or read-only disk) is ended there and the other
// carries on; the failed one is tried again at the next boundary. Only when no copy takes the
// frames is a span left without a file.
//
// It knows nothing of devices or databases: the logger hands it the frames, the input's count
// and the wall clock, and hears of every segment opened and closed, and of every span that has
// no file (a full disk), through the callbacks.
#include "audio/loudness/LoudnessEngine.h"
#include "audio/loudness/SilenceDetector.h"
#include "logger/FrameClock.h"
#include "logger/SegmentFile.h"
#include "logger/SegmentRecord.h"
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tamblor::logger {

struct RecorderSettings {
    QString folder; // native; segments go into <folder>/<yyyy-MM-dd>/
    QString secondFolder; // native; empty: none
    FileEncoding encoding = FileEncoding::Wav16;
    int rate = 48000;
    int channels = 2;
    int segmentMinutes = 60;
    // A segment is Silent when the level stays below this for at least half its length.
    double silenceThresholdDbfs = -40.0;
    // The header is written at least this often (in seconds of frames).
    double headerEverySeconds = 1.0;
};

// A span of the input that has no file (writing failed until the next boundary).
struct Unrecorded {
    qint64 startMs = 0;
    qint64 endMs = 0;
    qint64 frames = 0;
    QString cause;
};

class SegmentRecorder {
public:
    // A stall ends without a fill once the input is back within this of its line...
    static constexpr qint64 CaughtUpMs = 500;
    // ...and with one for what it is still behind after delivering again for this long.
    static constexpr qint64 SettleMs = 2000;
    // An input silent this long after a stall began is taken as dead.
    static constexpr qint64 HoldMs = 5000;
    // A delivery that gains this much on the line at once is what the server kept.
    static constexpr qint64 BurstMs = 100;

    explicit SegmentRecorder(RecorderSettings settings);
    ~SegmentRecorder();

    std::function<void(SegmentRecord&)> opened;
    // The record is complete (frames, result, figures, ppm, SHA-256); clockSync is left to the caller.
    std::function<void(SegmentRecord&)> closed;
    std::function<void(const Unrecorded&)> unrecorded;
    // A copy could not be made or written (the other, if any, carries on): its folder and why.
    std::function<void(const QString& folder, const QString& cause)> copyFailed;

    // The run begins: frame 0 is due at `wallMs`.
    void begin(qint64 wallMs);
    // The input had delivered `delivered` frames (what it lost on the way counted in) by
    // `wallMs`: the clock notes it; a stall is watched from there and filled with silence after
    // those frames only for what the input turns out to have lost.
    void noteInput(qint64 delivered, qint64 wallMs);
    // Frames the input gave, in order.
    void addFrames(const int16_t* samples, qint64 frames);
    // Frames the input delivered but lost before they reached here: filled with silence now.
    void addLost(qint64 frames);
    // The run ends: what is pending is written and the open segment closed.
    void end();

    const FrameClock& clock() const { return clock_; }
    const SegmentRecord* current() const { return anyOpen() ? &record_ : nullptr; }
    // Frames written to segments (and dropped for want of a file) since begin().
    qint64 position() const { return position_; }
    // Frames filled with silence since begin().
    qint64 filledFrames() const { return filled_; }
    const RecorderSettings& settings() const { return settings_; }
    // True while no copy can be written, until the next boundary.
    bool isBlocked() const { return blockedUntilFrame_ >= 0; }

private:
    struct Fill {
        qint64 at;     // stream position
        qint64 frames;
    };
    // Frames the input gave after a stall, kept until it is known whether any were lost.
    struct Held {
        bool silence = false;
        qint64 frames = 0;
        std::vector<int16_t> samples;
    };
    void accept(const int16_t* samples, qint64 frames, bool silence);
    // Writes frames (or silence) at the stream's position, the fills due before them first.
    void place(const int16_t* samples, qint64 frames, bool silence);
    // The stall is decided: `fill` frames of silence go where the loss lies, among the frames held.
    void release(qint64 fill);
    // One folder's copy of the segment being written.
    struct Copy {
        QString folder;
        QString path;
        SegmentFile file;
        QString problem; // why it ended early (empty: it is whole so far)
    };
    void put(const int16_t* samples, qint64 frames, bool silence);
    void openAt(qint64 boundaryMs, qint64 startMs);
    void closeCurrent(bool endedEarly);
    // Writes to every open copy; returns the most frames one took.
    qint64 writeCopies(const int16_t* data, qint64 frames);
    void failCopy(Copy& copy, const QString& problem);
    void blockAll(qint64 atPosition);
    bool anyOpen() const;
    SegmentFigures figuresNow() const;
    void measure(const int16_t* samples, qint64 frames);
    // The same name in every folder, never that of a file there.
    QString nameFor(qint64 startMs) const;

    RecorderSettings settings_;
    FrameClock clock_;
    std::vector<std::unique_ptr<Copy>> copies_; // the folder's first
    SegmentRecord record_;
    qint64 segmentFrames_ = 0; // frames the segment has had (the most a copy holds)
    std::unique_ptr<audio::LoudnessEngine> loudness_;
    std::unique_ptr<audio::SilenceDetector> silence_;
    qint64 clippedRuns_ = 0;
    std::vector<int> clipRun_;
    qint64 position_ = 0;
    qint64 filled_ = 0;
    qint64 stallFilled_ = 0;
    qint64 lastDelivered_ = 0;
    qint64 lastGrowthMs_ = 0; // when the input last delivered
    qint64 handed_ = 0; // frames given through addFrames and addLost
    // A stall under watch: since the input's frame holdFromIn_, at holdSinceMs_; delivering
    // again since resumedMs_ (-1: not yet).
    bool holding_ = false;
    qint64 holdFromIn_ = 0;
    qint64 holdSinceMs_ = 0;
    qint64 resumedMs_ = -1;
    qint64 lossAtIn_ = 0;   // the input's frame a fill goes before
    qint64 lastBehind_ = 0; // frames behind the line at the last look
    std::deque<Held> held_;
    bool dead_ = false; // no frame for HoldMs: filled as time passes
    qint64 sinceHeader_ = 0;
    qint64 nextBoundaryMs_ = 0;
    bool begun_ = false;
    qint64 blockedUntilFrame_ = -1;
    qint64 blockedFromMs_ = 0;
    qint64 blockedFrames_ = 0;
    QString blockedCause_;
    std::deque<Fill> fills_;
    std::vector<int16_t> zeros_;
};

} // namespace tamblor::logger
