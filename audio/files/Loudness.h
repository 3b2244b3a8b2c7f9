#pragma once
// Loudness of a programme as broadcasters deliver it (EBU R128 / ITU-R BS.1770): integrated
// loudness in LUFS, loudness range in LU and true peak in dBTP, measured with libebur128 from
// frames fed in order. One measurement per object; feed the whole file, then read the figures.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tamblor::audio {

struct LoudnessFigures {
    // -inf for a programme that stays below the absolute gate (silence).
    double integratedLufs;
    double rangeLu;
    // The highest true (inter-sample) peak of any channel; -inf for silence.
    double truePeakDbtp;
};

class LoudnessMeter {
public:
    // A mono programme counts as heard on two loudspeakers (the same as a stereo file with the
    // same signal on both channels); with more than two channels the usual order L R C LFE Ls Rs.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Interleaved frames, 16-bit or floating point with full scale at 1.0.
    void add(const int16_t* samples, size_t frames);
    void add(const float* samples, size_t frames);

    LoudnessFigures figures() const;

private:
    struct State; // libebur128's measurement
    std::unique_ptr<State> state_;
};

} // namespace tamblor::audio
