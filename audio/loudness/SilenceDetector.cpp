#include "audio/loudness/SilenceDetector.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tamblor::audio {

namespace {

template <typename Sample>
constexpr float kScale = 1.0f;
template <>
constexpr float kScale<int16_t> = 1.0f / 32768.0f;

int64_t framesOf(double seconds, int rate) { return std::max<int64_t>(1, std::llround(seconds * rate)); }

const SilenceSettings& checked(int channels, int rate, const SilenceSettings& s)
{
    if (channels < 1 || rate < 1 || !(s.thresholdDbfs <= 0.0) || !(s.silentSeconds > 0.0) || !(s.soundSeconds > 0.0))
        throw std::invalid_argument("silence detection needs channels, a rate, a threshold at or below full scale "
                                    "and times above zero");
    return s;
}

} // namespace

SilenceDetector::SilenceDetector(int channels, int sampleRate, const SilenceSettings& settings)
    : channels_(channels), rate_(sampleRate),
      threshold_(float(std::pow(10.0, checked(channels, sampleRate, settings).thresholdDbfs / 20.0))),
      silentFrames_(framesOf(settings.silentSeconds, sampleRate)),
      soundFrames_(framesOf(settings.soundSeconds, sampleRate)), gapFrames_(framesOf(kSoundGapSeconds, sampleRate))
{
}

std::vector<SilenceChange> SilenceDetector::add(const int16_t* samples, size_t frames) { return feed(samples, frames); }

std::vector<SilenceChange> SilenceDetector::add(const float* samples, size_t frames) { return feed(samples, frames); }

template <typename Sample>
std::vector<SilenceChange> SilenceDetector::feed(const Sample* samples, size_t frames)
{
    constexpr float scale = kScale<Sample>;
    std::vector<SilenceChange> changes;
    const size_t channels = size_t(channels_);
    for (size_t i = 0; i < frames; ++i) {
        float most = 0.0f;
        for (size_t c = 0; c < channels; ++c)
            most = std::max(most, std::fabs(float(samples[i * channels + c]) * scale));
        frame(most >= threshold_, most, changes);
    }
    return changes;
}

void SilenceDetector::frame(bool loud, float magnitude, std::vector<SilenceChange>& changes)
{
    if (loud) {
        silentRun_ = 0;
        silencePeak_ = 0.0f;
        if (alarmed_) {
            if (soundFrom_ < 0)
                soundFrom_ = frames_;
            lastLoud_ = frames_;
        }
    } else {
        ++silentRun_;
        silencePeak_ = std::max(silencePeak_, magnitude);
        longestRun_ = std::max(longestRun_, silentRun_);
        if (alarmed_ && soundFrom_ < 0) // not a trough of the sound that has come back
            alarmPeak_ = std::max(alarmPeak_, magnitude);
        if (!alarmed_ && silentRun_ == silentFrames_) {
            alarmed_ = true;
            soundFrom_ = -1;
            alarmSilenceFrom_ = frames_ + 1 - silentRun_;
            alarmPeak_ = silencePeak_;
            changes.push_back({true, frames_ + 1});
        } else if (alarmed_ && soundFrom_ >= 0 && frames_ - lastLoud_ > gapFrames_) {
            soundFrom_ = -1; // the sound broke off before it had lasted
        }
    }
    ++frames_;
    if (alarmed_ && soundFrom_ >= 0 && frames_ - soundFrom_ == soundFrames_) {
        alarmed_ = false;
        soundFrom_ = -1;
        changes.push_back({false, frames_});
    }
}

namespace {
double levelOf(float peak)
{
    return peak <= 0.0f ? -std::numeric_limits<double>::infinity() : 20.0 * std::log10(double(peak));
}
} // namespace

double SilenceDetector::silenceLevelDbfs() const
{
    return silentRun_ == 0 ? -std::numeric_limits<double>::infinity() : levelOf(silencePeak_);
}

double SilenceDetector::alarmSilenceSeconds() const
{
    if (!alarmed_)
        return 0.0;
    return double((soundFrom_ >= 0 ? soundFrom_ : frames_) - alarmSilenceFrom_) / rate_;
}

double SilenceDetector::alarmLevelDbfs() const
{
    return alarmed_ ? levelOf(alarmPeak_) : -std::numeric_limits<double>::infinity();
}

void SilenceDetector::reset()
{
    alarmed_ = false;
    frames_ = silentRun_ = longestRun_ = 0;
    silencePeak_ = 0.0f;
    soundFrom_ = lastLoud_ = alarmSilenceFrom_ = -1;
    alarmPeak_ = 0.0f;
}

} // namespace tamblor::audio
