#include "audio/loudness/LoudnessEngine.h"
#include "audio/loudness/TruePeakScan.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace tamblor::audio {

namespace {

constexpr int kHistory = TruePeakScan::kHistory;

double weightOf(int channel, int channels)
{
    if (channels == 1)
        return 2.0;
    if (channels == 5) // L R C Ls Rs: no effects channel
        return channel < 3 ? 1.0 : 1.41;
    switch (channel) {
    case 0:
    case 1:
    case 2: return 1.0;
    case 4:
    case 5: return 1.41;
    default: return 0.0;
    }
}

double decibels(double share)
{
    return share > 0 ? 20.0 * std::log10(share) : -std::numeric_limits<double>::infinity();
}

template <typename Sample>
constexpr float kScale = 1.0f;
template <>
constexpr float kScale<int16_t> = 1.0f / 32768.0f;

int checkedChannels(int channels, int rate)
{
    if (channels < 1 || rate < 1)
        throw std::invalid_argument("loudness needs at least one channel and a sample rate");
    return channels;
}

} // namespace

LoudnessEngine::LoudnessEngine(int channels, int sampleRate)
    : channels_(checkedChannels(channels, sampleRate)), rate_(sampleRate), step_((sampleRate + 5) / 10),
      kWeighting_(channels, sampleRate), planes_(size_t(channels), std::vector<float>(size_t(kHistory + step_))),
      spans_(size_t(channels)), stepEnergy_(size_t(channels)), truePeak_(size_t(channels)),
      samplePeak_(size_t(channels))
{
    for (int c = 0; c < channels; ++c) {
        weight_.push_back(weightOf(c, channels));
        unweighted_.push_back(weight_.back() == 0.0);
        spans_[size_t(c)] = planes_[size_t(c)].data() + kHistory;
    }
}

void LoudnessEngine::add(const int16_t* samples, size_t frames) { feed(samples, frames); }

void LoudnessEngine::add(const float* samples, size_t frames) { feed(samples, frames); }

template <typename Sample>
void LoudnessEngine::feed(const Sample* samples, size_t frames)
{
    constexpr float scale = kScale<Sample>;
    const size_t channels = size_t(channels_);
    while (frames > 0) {
        const size_t n = std::min(frames, size_t(step_ - inStep_));
        if (channels == 2) {
            float* left = planes_[0].data() + kHistory;
            float* right = planes_[1].data() + kHistory;
            for (size_t i = 0; i < n; ++i) {
                left[i] = float(samples[2 * i]) * scale;
                right[i] = float(samples[2 * i + 1]) * scale;
            }
        } else {
            for (size_t c = 0; c < channels; ++c) {
                float* x = planes_[c].data() + kHistory;
                for (size_t i = 0; i < n; ++i)
                    x[i] = float(samples[i * channels + c]) * scale;
            }
        }
        measureSpan(n);
        samples += n * channels;
        frames -= n;
    }
}

void LoudnessEngine::measureSpan(size_t n)
{
    for (size_t c = 0; c < size_t(channels_); ++c) {
        const BlockPeaks peaks = TruePeakScan::scan(spans_[c], n, std::max(truePeak_[c], samplePeak_[c]));
        samplePeak_[c] = std::max(samplePeak_[c], peaks.sample);
        truePeak_[c] = std::max(truePeak_[c], peaks.interpolated);
    }
    kWeighting_.run(spans_.data(), n, stepEnergy_.data(), unweighted_);
    // The last samples stay in front of the next span, for its interpolation.
    for (auto& plane : planes_)
        std::memmove(plane.data(), plane.data() + n, kHistory * sizeof(float));
    frames_ += int64_t(n);
    inStep_ += int(n);
    if (inStep_ == step_)
        endStep();
}

void LoudnessEngine::endStep()
{
    double energy = 0;
    for (size_t c = 0; c < size_t(channels_); ++c) {
        energy += weight_[c] * stepEnergy_[c];
        stepEnergy_[c] = 0;
    }
    recent_[size_t(steps_ % kShortTermSteps)] = energy;
    ++steps_;
    inStep_ = 0;
    momentary_ = windowEnergy(kMomentarySteps, kMomentarySteps);
    shortTerm_ = windowEnergy(kShortTermSteps, kShortTermSteps);
    maxMomentary_ = std::max(maxMomentary_, momentary_);
    maxShortTerm_ = std::max(maxShortTerm_, shortTerm_);
    if (steps_ >= kMomentarySteps)
        history_.addGatingBlock(momentary_);
    if (steps_ >= kShortTermSteps && (steps_ - kShortTermSteps) % kShortTermEvery == 0)
        history_.addShortTermBlock(shortTerm_);
}

double LoudnessEngine::windowEnergy(int steps, int window) const
{
    const int64_t have = std::min<int64_t>(steps, steps_);
    double sum = 0;
    for (int64_t i = 1; i <= have; ++i)
        sum += recent_[size_t((steps_ - i) % kShortTermSteps)];
    return sum / (double(window) * step_);
}

void LoudnessEngine::reset()
{
    kWeighting_.reset();
    for (auto& plane : planes_)
        std::fill(plane.begin(), plane.end(), 0.0f);
    std::fill(stepEnergy_.begin(), stepEnergy_.end(), 0.0);
    std::fill(truePeak_.begin(), truePeak_.end(), 0.0f);
    std::fill(samplePeak_.begin(), samplePeak_.end(), 0.0f);
    inStep_ = 0;
    steps_ = 0;
    frames_ = 0;
    recent_.fill(0.0);
    momentary_ = shortTerm_ = maxMomentary_ = maxShortTerm_ = 0;
    history_.clear();
}

double LoudnessEngine::momentaryLufs() const { return loudnessOfEnergy(momentary_); }
double LoudnessEngine::shortTermLufs() const { return loudnessOfEnergy(shortTerm_); }
double LoudnessEngine::maxMomentaryLufs() const { return loudnessOfEnergy(maxMomentary_); }
double LoudnessEngine::maxShortTermLufs() const { return loudnessOfEnergy(maxShortTerm_); }
double LoudnessEngine::integratedLufs() const { return loudnessOfEnergy(history_.integratedEnergy()); }
double LoudnessEngine::rangeLu() const { return history_.rangeLu(); }

double LoudnessEngine::truePeakOf(int channel) const
{
    return std::max(truePeak_[size_t(channel)], samplePeak_[size_t(channel)]);
}

double LoudnessEngine::samplePeakOf(int channel) const { return samplePeak_[size_t(channel)]; }

double LoudnessEngine::truePeakDbtp() const
{
    double peak = 0;
    for (int c = 0; c < channels_; ++c)
        peak = std::max(peak, truePeakOf(c));
    return decibels(peak);
}

double LoudnessEngine::samplePeakDbfs() const
{
    double peak = 0;
    for (int c = 0; c < channels_; ++c)
        peak = std::max(peak, samplePeakOf(c));
    return decibels(peak);
}

LoudnessReading LoudnessEngine::reading() const
{
    return {momentaryLufs(), shortTermLufs(), maxMomentaryLufs(), maxShortTermLufs(), integratedLufs(),
            rangeLu(),       truePeakDbtp(),  samplePeakDbfs(),   double(frames_) / rate_};
}

} // namespace tamblor::audio
