#pragma once
// What the studio hears, watched for the operator: the live loudness of the input whenever it is
// open (a take armed or written, a check of the input, the input kept for the next take), or of
// the output while a file plays, and dead air on a take being
// written or a file being played (the silence alarm). It follows the sessions' states as they
// change, so a take is watched from its first frame with or without a window open.
//
// Two threads share the work. The measuring (K-weighting, the true peak, the gated figures, the
// silence detector) runs on a worker thread of the watch's own (WatchWorker), the one reader of
// the input's and the player's sample taps. The user-interface thread only steers: at every
// tick of the studio (20 times a second) and at every change of a session's state it orders a
// take from the taps, and on a change it tells the worker what to measure from then on. What
// the worker found comes back as values, posted to this object's thread: the reading, which the
// watch keeps for the windows, and the silence detector's findings, which the alarm acts on here
// (its notices, its command and its signals belong to this thread). updated() follows each.
//
// The meter starts afresh when its source starts (a take armed, a file started) and when the
// operator resets it; a reading measured before that is dropped when it arrives. The alarm
// ends at once when its programme ends; what the detector found before is dropped likewise.
// Everything heard before a change of state belongs to what was watched before it: the taps'
// positions are noted at the change, and the take ordered then stops there.
//
// Nothing waits for the worker but waitIdle() (tests that step the card and tick the studio,
// and the end of the program). At the end of the program, and at the latest when the watch is
// destroyed, the worker is stopped and joined before the taps close.
#include "audio/loudness/LoudnessEngine.h"
#include "studio/SilenceAlarm.h"
#include "studio/WatchWorker.h"
#include <QObject>
#include <memory>

namespace tamblor::audio {
class SampleTap;
}

namespace tamblor {

class Core;
class PlaybackSession;
class ProgramStarter;
class RecordingSession;

class ProgrammeWatch : public QObject {
    Q_OBJECT
public:
    using Source = ProgrammeSource;

    ProgrammeWatch(Core& app, RecordingSession& recording, PlaybackSession& playback,
                   ProgramStarter& starter, QObject* parent = nullptr);
    ~ProgrammeWatch() override;

    // Follows the sessions and orders the worker to take what the taps hold; the reading and
    // the alarm move when its report arrives (updated() follows).
    void tick();
    // Waits until the worker has done all it was given, then delivers its reports now: the
    // reading and the alarm are those of every sample the taps held at the last tick or change.
    // The user-interface thread's one wait for the worker (tests; the end of the program).
    void waitIdle();

    // What the meter measures now.
    Source source() const { return plan_.meterSource; }
    // Whether its source is sounding now: not while a playback is paused (the bars fall, the
    // figures stay), nor with no source.
    bool isLive() const;
    // The meter's figures as last reported (all -inf before it has heard anything).
    audio::LoudnessReading reading() const { return reading_; }
    // Starts the meter's figures afresh (the alarm is not touched).
    void resetMeter();
    SilenceAlarm& alarm() { return alarm_; }

    // The figures of a meter that has heard nothing.
    static audio::LoudnessReading silentReading();

signals:
    // After a report of the worker, a reset or a change of source: the reading and the alarm
    // may have moved.
    void updated();

private:
    struct Programme {
        Source source = Source::None;
        int slot = 0;
        QString file;
        bool operator==(const Programme&) const = default;
    };
    // Puts the plan on what the sessions do now and gives it to the worker when it changed;
    // true when it did.
    bool follow();
    Programme watchedProgramme() const;
    Source meterSource() const;
    // The input's tap or the player's.
    audio::SampleTap& tapOf(Source source) const;
    // A report of the worker, on this object's thread.
    void receive(const WatchReport& report);
    // Stops the worker (at the end of the program, or on destruction).
    void finish();

    RecordingSession& recording_;
    PlaybackSession& playback_;
    SilenceAlarm alarm_;
    WatchPlan plan_;
    quint64 generation_ = 0; // of the meter source's tap when the meter started
    Programme programme_;
    audio::LoudnessReading reading_;
    std::unique_ptr<WatchWorker> worker_;
};

} // namespace tamblor
