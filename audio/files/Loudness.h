#pragma once
// Loudness of a programme as broadcasters deliver it (EBU R128 / ITU-R BS.1770): integrated
// loudness in LUFS, loudness range in LU and true peak in dBTP, measured by the loudness
// engine from frames fed in order, or from a whole wave file. One measurement per meter; feed
// the whole programme, then read the figures.
#include "audio/core/WaveFormat.h"
#include "audio/loudness/LoudnessEngine.h"
#include "audio/loudness/SilenceDetector.h"
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tamblor::audio {

struct LoudnessFigures {
    // -inf for a programme that stays below the absolute gate (silence).
    double integratedLufs;
    double rangeLu;
    // The highest true (inter-sample) peak of any channel; -inf for silence.
    double truePeakDbtp;
    // The highest sample of any channel, in dB of full scale; -inf for silence.
    double samplePeakDbfs = 0.0;
    // The longest stretch below the silence threshold, in seconds, when the meter watched for
    // silence (0 otherwise).
    double longestSilenceSeconds = 0.0;
};

class LoudnessMeter {
public:
    // A mono programme counts as heard on two loudspeakers (the same as a stereo file with the
    // same signal on both channels); more channels as the engine orders them (L R C Ls Rs for
    // five, L R C LFE Ls Rs for six). Throws Failure 5 for no channels or no rate.
    LoudnessMeter(int channels, int sampleRate);

    // Interleaved frames, 16-bit or floating point with full scale at 1.0.
    void add(const int16_t* samples, size_t frames);
    void add(const float* samples, size_t frames);
    // The whole frames of `bytes` of a PCM or float wave file's samples in `format` (the
    // meter's channels and rate). 16-bit samples are read in place (2-byte aligned).
    void add(const WaveFormat& format, const uint8_t* data, int64_t bytes);

    // From now on also finds the longest silence of what is fed (below the settings' threshold).
    void watchSilence(const SilenceSettings& settings);

    LoudnessFigures figures() const;

private:
    LoudnessEngine engine_;
    std::optional<SilenceDetector> silence_;
    std::vector<float> wide_; // samples of other formats, as floats
};

// Progress of a file measurement: percent 0..100; returning false cancels it.
using LoudnessProgress = std::function<bool(int percent)>;

// Measures a PCM or float wave file (a native path), on a worker thread, with its longest
// silence when `silence` is given. Nothing when cancelled. Throws Failure:
// 5 for a compressed format, 321 for a malformed file, file errors as they come.
std::optional<LoudnessFigures> measureLoudness(const QString& path, const LoudnessProgress& progress = {},
                                               const std::optional<SilenceSettings>& silence = {});

} // namespace tamblor::audio
