#pragma once
// The true peak of ITU-R BS.1770-4 (Annex 2): the signal is interpolated to four times its
// sample rate by the recommendation's 48-tap polyphase filter (four phases of twelve taps) and
// the largest magnitude of the interpolated samples is its true peak. The scan keeps no state:
// the samples it reads are preceded in memory by the last kHistory samples before them (zeros
// at the start of a signal), so one plane of a channel can be scanned block after block.
#include <cstddef>

namespace tamblor::audio {

struct BlockPeaks {
    // The largest magnitude of the block's own samples.
    float sample = 0.0f;
    // The largest magnitude of the interpolated samples; 0 when it was not worked out because
    // it could not exceed the floor the caller gave.
    float interpolated = 0.0f;
};

class TruePeakScan {
public:
    // Samples before the block that the interpolation of its first samples reads.
    static constexpr int kHistory = 11;

    // Scans the `n` samples at `x` (x[-kHistory] .. x[-1] readable). The interpolation is
    // worked out only where it could exceed `floor` (the highest true peak known so far): no
    // interpolated sample can exceed the block's largest sample by more than the filter's
    // largest gain.
    static BlockPeaks scan(const float* x, size_t n, float floor);

    // The filter's coefficient `tap` (0..11) of phase `phase` (0..3), as the recommendation
    // gives them; y_p[n] = sum over k of h_p[k] * x[n - k].
    static double coefficient(int phase, int tap);
};

} // namespace tamblor::audio
