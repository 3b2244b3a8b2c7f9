#pragma once
// The input's own clock against the wall clock: the input counts frames, the system counts
// milliseconds, and the two drift apart (a card 150 ppm fast gains half a second an hour). The
// clock keeps the frame count noted about once a second over the last hour and fits a line
// through those notes; the frame due at a wall-clock instant is read off that line, so a cut
// follows the drift as it happens, and the line's slope is the input's measured rate.
//
// A stalled input (no frames for longer than the stall limit) falls behind the line: stallFrames()
// says that it has, and framesBehind() by how much. What the caller finds lost it fills with
// silence and counts as frames the input gave, so that every later frame keeps its time.
#include <QtGlobal>
#include <deque>

namespace tamblor::logger {

class FrameClock {
public:
    // A measured rate further than this from the nominal one is taken as the nominal one.
    static constexpr double MaxDeviation = 0.005;
    // The rate is measured once the notes span this long; before, the nominal rate stands.
    static constexpr qint64 MeasureAfterMs = 30000;
    static constexpr qint64 WindowMs = 3600000;
    static constexpr qint64 NoteEveryMs = 1000;
    static constexpr qint64 StallMs = 1000;

    explicit FrameClock(int rate);

    // Frame 0 is due at `wallMs`.
    void start(qint64 wallMs);
    // The input (with the silence filled in for it) had given `frames` frames by `wallMs`.
    void note(qint64 frames, qint64 wallMs);
    // The notes taken after `wallMs` are dropped (an input that stalled: its count then says
    // nothing of its rate).
    void forgetAfter(qint64 wallMs);

    int nominalRate() const { return rate_; }
    // Measured frames per second of the wall clock, and its deviation from the nominal rate.
    double rate() const { return slope_ * 1000.0; }
    double ppm() const { return (rate() / rate_ - 1.0) * 1e6; }
    // The first frame due at or after `wallMs`.
    qint64 frameAt(qint64 wallMs) const;
    // The wall-clock time a frame is due.
    double wallOf(qint64 frame) const;
    qint64 startMs() const { return startMs_; }
    // Frames the input is behind the line at `wallMs` when it has given `frames`, once that is
    // more than the stall limit; 0 otherwise.
    qint64 stallFrames(qint64 frames, qint64 wallMs) const;
    // Whole frames the input is behind the line (0 when it is not).
    qint64 framesBehind(qint64 frames, qint64 wallMs) const;

private:
    struct Note {
        double ms;    // since start
        double frames;
    };
    void fit();
    // Frames the line is ahead of `frames` at `wallMs` (negative: the input is ahead).
    double behind(qint64 frames, qint64 wallMs) const;

    int rate_;
    qint64 startMs_ = 0;
    std::deque<Note> notes_;
    double slope_;      // frames per millisecond
    double atMs_ = 0;   // the line passes through (atMs_, atFrames_)
    double atFrames_ = 0;
};

} // namespace tamblor::logger
