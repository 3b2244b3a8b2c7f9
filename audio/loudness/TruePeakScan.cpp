#include "audio/loudness/TruePeakScan.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tamblor::audio {

namespace {

constexpr int kTaps = 12;
constexpr int kPhases = 4;

// ITU-R BS.1770-4, Annex 2: the interpolating filter, phase by phase.
constexpr float kFilter[kPhases][kTaps] = {
    {0.0017089843750f, 0.0109863281250f, -0.0196533203125f, 0.0332031250000f, -0.0594482421875f, 0.1373291015625f,
     0.9721679687500f, -0.1022949218750f, 0.0476074218750f, -0.0266113281250f, 0.0148925781250f, -0.0083007812500f},
    {-0.0291748046875f, 0.0292968750000f, -0.0517578125000f, 0.0891113281250f, -0.1665039062500f, 0.4650878906250f,
     0.7797851562500f, -0.2003173828125f, 0.1015625000000f, -0.0582275390625f, 0.0330810546875f, -0.0189208984375f},
    {-0.0189208984375f, 0.0330810546875f, -0.0582275390625f, 0.1015625000000f, -0.2003173828125f, 0.7797851562500f,
     0.4650878906250f, -0.1665039062500f, 0.0891113281250f, -0.0517578125000f, 0.0292968750000f, -0.0291748046875f},
    {-0.0083007812500f, 0.0148925781250f, -0.0266113281250f, 0.0476074218750f, -0.1022949218750f, 0.9721679687500f,
     0.1373291015625f, -0.0594482421875f, 0.0332031250000f, -0.0196533203125f, 0.0109863281250f, 0.0017089843750f},
};

// The largest factor by which the filter can raise a block's largest sample: the largest sum
// of the magnitudes of one phase's taps, with a margin for the rounding of float sums.
float largestGain()
{
    double most = 0;
    for (const auto& phase : kFilter) {
        double sum = 0;
        for (float h : phase)
            sum += std::fabs(double(h));
        most = std::max(most, sum);
    }
    return float(most * 1.0001);
}

const float kLargestGain = largestGain();

using Floats = float __attribute__((vector_size(32)));
using Bits = int32_t __attribute__((vector_size(32)));
constexpr int kLanes = 8;

// The helpers take eight-lane values by reference: they are inlined into the wide and the plain
// variant alike, and a value passed by reference has no calling convention to disagree on.
[[gnu::always_inline]] inline void load(Floats& v, const float* p) { std::memcpy(&v, p, sizeof v); }

// best = the larger of best and the magnitude of v, lane by lane.
[[gnu::always_inline]] inline void keepLarger(Floats& best, const Floats& v)
{
    const Bits mask = Bits{} + 0x7fffffff;
    const Floats magnitude = Floats(Bits(v) & mask);
    best = magnitude > best ? magnitude : best;
}

[[gnu::always_inline]] inline float largestLane(const Floats& v)
{
    float m = 0;
    for (int i = 0; i < kLanes; ++i)
        m = std::max(m, v[i]);
    return m;
}

// The largest magnitude of n samples.
[[gnu::always_inline]] inline float largestSample(const float* x, size_t n)
{
    Floats best{}, v;
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        load(v, x + i);
        keepLarger(best, v);
    }
    float m = largestLane(best);
    for (; i < n; ++i)
        m = std::max(m, std::fabs(x[i]));
    return m;
}

// The taps of every phase spread over eight lanes.
struct WideFilter {
    Floats h[kTaps][kPhases];
    WideFilter()
    {
        for (int k = 0; k < kTaps; ++k)
            for (int p = 0; p < kPhases; ++p)
                h[k][p] = Floats{} + kFilter[p][k];
    }
};
const WideFilter kWide;

// The largest magnitude of the interpolated samples of n samples: eight outputs of each of the
// four phases at once, each sample loaded once for the four.
[[gnu::always_inline]] inline float largestInterpolated(const float* x, size_t n)
{
    Floats best{};
    const size_t whole = n / kLanes * kLanes;
    for (size_t i = 0; i < whole; i += kLanes) {
        Floats v, y0{}, y1{}, y2{}, y3{};
        for (int k = 0; k < kTaps; ++k) {
            load(v, x + i - k);
            y0 += kWide.h[k][0] * v;
            y1 += kWide.h[k][1] * v;
            y2 += kWide.h[k][2] * v;
            y3 += kWide.h[k][3] * v;
        }
        keepLarger(best, y0);
        keepLarger(best, y1);
        keepLarger(best, y2);
        keepLarger(best, y3);
    }
    float m = largestLane(best);
    for (size_t i = whole; i < n; ++i)
        for (int p = 0; p < kPhases; ++p) {
            float y = 0;
            for (int k = 0; k < kTaps; ++k)
                y += kFilter[p][k] * x[ptrdiff_t(i) - k];
            m = std::max(m, std::fabs(y));
        }
    return m;
}

using Kernel = BlockPeaks (*)(const float*, size_t, float);

[[gnu::always_inline]] inline BlockPeaks scanBody(const float* x, size_t n, float floor)
{
    BlockPeaks peaks;
    peaks.sample = largestSample(x, n);
    const float reach = std::max(peaks.sample, largestSample(x - TruePeakScan::kHistory, TruePeakScan::kHistory)) * kLargestGain;
    if (reach > floor)
        peaks.interpolated = largestInterpolated(x, n);
    return peaks;
}

BlockPeaks scanPlain(const float* x, size_t n, float floor) { return scanBody(x, n, floor); }

#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) BlockPeaks scanWide(const float* x, size_t n, float floor)
{
    return scanBody(x, n, floor);
}
#endif

Kernel kernel()
{
#if defined(__x86_64__)
    static const Kernel chosen = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? scanWide : scanPlain;
    return chosen;
#else
    return scanPlain;
#endif
}

} // namespace

BlockPeaks TruePeakScan::scan(const float* x, size_t n, float floor) { return kernel()(x, n, floor); }

double TruePeakScan::coefficient(int phase, int tap) { return kFilter[phase][tap]; }

} // namespace tamblor::audio
