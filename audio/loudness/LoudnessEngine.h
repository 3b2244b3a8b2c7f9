#pragma once
// One streaming loudness measurement after ITU-R BS.1770-4 and EBU R128: fed blocks of
// interleaved samples in order, it keeps the momentary (0.4 s) and short-term (3 s) loudness,
// their maxima, the integrated loudness and the loudness range since the start, and the true
// and sample peaks. The file measurement and the normalizer feed it whole files; a live meter
// feeds it what the input ring holds, on a thread of its own (never the device callback: the
// gated figures keep every block and are worked out when read).
//
// Time moves in steps of 100 ms (rate/10 frames, rounded). The momentary and short-term values
// are those of the window that ends with the last whole step, so a meter that reads them ten
// times a second sees every step; before a window has filled, the time before the start counts
// as silence. The integrated loudness and the range count only whole 400 ms and 3 s blocks.
//
// Not thread-safe: feed and read on one thread, or hand the readings on.
#include "audio/loudness/KWeighting.h"
#include "audio/loudness/LoudnessHistory.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamblor::audio {

// Every figure at one moment; loudness in LUFS, range in LU, peaks in dB of full scale, -inf
// for what has heard nothing but silence.
struct LoudnessReading {
    double momentaryLufs;
    double shortTermLufs;
    double maxMomentaryLufs;
    double maxShortTermLufs;
    double integratedLufs;
    double rangeLu;
    double truePeakDbtp;
    double samplePeakDbfs;
    // The time fed so far, in seconds.
    double seconds;
};

class LoudnessEngine {
public:
    // A mono programme counts as heard on two loudspeakers (like a stereo programme with the
    // same signal on both channels). Five channels are L R C Ls Rs; six and more L R C LFE Ls
    // Rs, the effects channel and any further ones not counted. The surround channels weigh
    // 1.41. Throws std::invalid_argument for no channels or no rate.
    LoudnessEngine(int channels, int sampleRate);

    // Interleaved frames: 16-bit, or floating point with full scale at 1.0.
    void add(const int16_t* samples, size_t frames);
    void add(const float* samples, size_t frames);

    // Starts again as if nothing had been fed.
    void reset();

    int channels() const { return channels_; }
    int sampleRate() const { return rate_; }
    // Frames in one 100 ms step.
    int stepFrames() const { return step_; }
    int64_t frames() const { return frames_; }

    double momentaryLufs() const;
    double shortTermLufs() const;
    double maxMomentaryLufs() const;
    double maxShortTermLufs() const;
    // Gated over every block so far (work in proportion to the blocks kept).
    double integratedLufs() const;
    double rangeLu() const;
    // The highest of the true peak and the sample peak over every channel.
    double truePeakDbtp() const;
    double samplePeakDbfs() const;
    // The same for one channel, as a share of full scale.
    double truePeakOf(int channel) const;
    double samplePeakOf(int channel) const;

    LoudnessReading reading() const;

private:
    template <typename Sample>
    void feed(const Sample* samples, size_t frames);
    void measureSpan(size_t n);
    void endStep();
    // Mean energy of the last `steps` steps over a window of `window` steps.
    double windowEnergy(int steps, int window) const;

    static constexpr int kMomentarySteps = 4;
    static constexpr int kShortTermSteps = 30;
    static constexpr int kShortTermEvery = 10;

    int channels_;
    int rate_;
    int step_;
    std::vector<double> weight_;
    std::vector<bool> unweighted_;
    KWeighting kWeighting_;
    // One plane per channel: the last samples of the span before, then the span.
    std::vector<std::vector<float>> planes_;
    std::vector<const float*> spans_;
    std::vector<double> stepEnergy_;
    std::vector<float> truePeak_;
    std::vector<float> samplePeak_;
    int inStep_ = 0;
    int64_t steps_ = 0;
    int64_t frames_ = 0;
    // The weighted energy of the last steps, the newest at recent_[(steps_ - 1) % size].
    std::array<double, kShortTermSteps> recent_{};
    double momentary_ = 0;
    double shortTerm_ = 0;
    double maxMomentary_ = 0;
    double maxShortTerm_ = 0;
    LoudnessHistory history_;
};

} // namespace tamblor::audio
