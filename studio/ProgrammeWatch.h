#pragma once
// What the studio hears, watched for the operator: the live loudness of the input while a take
// is armed or written, or of the output while a file plays, and dead air on a take being
// written or a file being played (the silence alarm). The one reader of the input's and the
// player's sample taps; it works on the user-interface thread at every tick of the studio
// (20 times a second), never in the device callback, and follows the sessions' states as they
// change, so a take is watched from its first frame with or without a window open.
//
// The meter starts afresh when its source starts (a take armed, a file started) and when the
// operator resets it.
#include "audio/loudness/LoudnessEngine.h"
#include "studio/SilenceAlarm.h"
#include <QObject>
#include <memory>
#include <vector>

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
    enum class Source { None, Input, Output };

    ProgrammeWatch(Core& app, RecordingSession& recording, PlaybackSession& playback,
                   ProgramStarter& starter, QObject* parent = nullptr);
    ~ProgrammeWatch() override;

    // Takes what the taps hold and brings the meter and the alarm up to date; updated() follows.
    void tick();

    // What the meter measures now.
    Source source() const { return source_; }
    // Whether its source is sounding now: not while a playback is paused (the bars fall, the
    // figures stay), nor with no source.
    bool isLive() const;
    // The meter's figures (all -inf before it has heard anything).
    audio::LoudnessReading reading() const;
    // Starts the meter's figures afresh (the alarm is not touched).
    void resetMeter();
    SilenceAlarm& alarm() { return alarm_; }

signals:
    // After a tick, a reset or a change of source: the reading and the alarm may have moved.
    void updated();

private:
    struct Programme {
        Source source = Source::None;
        int slot = 0;
        QString file;
        bool operator==(const Programme&) const = default;
    };
    // Takes what the taps hold, for the meter and the alarm as they stand.
    void drain();
    // Puts the meter and the alarm on what the sessions do now.
    void follow();
    Programme watchedProgramme() const;
    Source meterSource() const;
    // The input's tap or the player's.
    audio::SampleTap& tapOf(Source source) const;

    RecordingSession& recording_;
    PlaybackSession& playback_;
    SilenceAlarm alarm_;
    Source source_ = Source::None;
    quint64 generation_ = 0; // of the meter source's tap when the meter started
    Programme programme_;
    std::unique_ptr<audio::LoudnessEngine> meter_;
    std::vector<int16_t> scratch_;
};

} // namespace tamblor
