#pragma once
// Dead air: a programme whose level stays below a threshold for a set time. Fed blocks of
// interleaved samples in order, the detector raises its alarm on the very frame at which the
// silence has lasted the set time, and clears it on the frame at which sound has lasted the
// clearing time again. Silence is counted frame by frame: a frame is silent when no channel
// reaches the threshold. Sound, once back, goes on through the short quiet moments any sound
// has (the troughs of a low note, a pause between words) as long as none lasts longer than
// kSoundGapSeconds.
//
// It keeps no window and no clock of its own: time is the frames fed, so a take, a file being
// played or a test's stepped samples give the same answer. Not thread-safe, like the engine.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamblor::audio {

struct SilenceSettings {
    double thresholdDbfs = -40.0;
    double silentSeconds = 20.0;
    double soundSeconds = 5.0;
};

// A change of the alarm: raised or cleared, at a frame counted from the start of the feed.
struct SilenceChange {
    bool raised;
    int64_t frame;
};

class SilenceDetector {
public:
    // Quiet moments in sound that do not end it.
    static constexpr double kSoundGapSeconds = 0.1;

    // Throws std::invalid_argument for no channels, no rate, a threshold above full scale or
    // times that are not positive.
    SilenceDetector(int channels, int sampleRate, const SilenceSettings& settings = {});

    // Interleaved frames, 16-bit or floating point with full scale at 1.0. Returns the changes
    // of the alarm within them, in order (usually none).
    std::vector<SilenceChange> add(const int16_t* samples, size_t frames);
    std::vector<SilenceChange> add(const float* samples, size_t frames);

    bool alarmed() const { return alarmed_; }
    // The silence so far: how long it has lasted and its level (the highest sample in it, in
    // dB of full scale; -inf for digital silence). Zero and -inf while there is sound.
    double silentSeconds() const { return double(silentRun_) / rate_; }
    double silenceLevelDbfs() const;
    // The longest silence fed so far, in seconds, whether or not it lasted long enough to alarm.
    double longestSilenceSeconds() const { return double(longestRun_) / rate_; }
    int64_t frames() const { return frames_; }
    // While alarmed: the dead air that raised the alarm, from its first silent frame to the
    // sound that has come back since (or to now while it is still silent), and its level (the
    // highest sample in its silent frames; -inf for digital silence). 0 and -inf otherwise.
    double alarmSilenceSeconds() const;
    double alarmLevelDbfs() const;

    // Forgets everything: no alarm, no silence, time back at frame 0.
    void reset();

private:
    template <typename Sample>
    std::vector<SilenceChange> feed(const Sample* samples, size_t frames);
    void frame(bool loud, float magnitude, std::vector<SilenceChange>& changes);

    int channels_;
    int rate_;
    float threshold_;
    int64_t silentFrames_;
    int64_t soundFrames_;
    int64_t gapFrames_;
    bool alarmed_ = false;
    int64_t frames_ = 0;
    int64_t silentRun_ = 0;
    int64_t longestRun_ = 0;
    float silencePeak_ = 0.0f;
    // While alarmed: the frame at which the present sound began (-1 for none) and the frame of
    // its last loud sample.
    int64_t soundFrom_ = -1;
    int64_t lastLoud_ = -1;
    // While alarmed: the first frame of the silence that raised it, and the highest sample of
    // its silent frames.
    int64_t alarmSilenceFrom_ = -1;
    float alarmPeak_ = 0.0f;
};

} // namespace tamblor::audio
