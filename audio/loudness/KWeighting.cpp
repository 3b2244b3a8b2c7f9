#include "audio/loudness/KWeighting.h"
#include <algorithm>
#include <cmath>

namespace tamblor::audio {

namespace {

using Pair = double __attribute__((vector_size(16)));

// The fourth-order filter over `n` samples of one pair of channels, one per lane. `v` holds
// the four delayed inner values of the pair (lane by lane); the sums of the squares of the
// filtered samples come back in `sum`. The state's update puts the newest value last, so that
// one fused multiply-add is all that separates one sample from the next.
[[gnu::always_inline]] inline void filterPair(const float* x0, const float* x1, size_t n, const double* b,
                                              const double* a, Pair* v, Pair& sum)
{
    const Pair b0 = {b[0], b[0]}, b1 = {b[1], b[1]}, b2 = {b[2], b[2]}, b3 = {b[3], b[3]}, b4 = {b[4], b[4]};
    const Pair a1 = {a[1], a[1]}, a2 = {a[2], a[2]}, a3 = {a[3], a[3]}, a4 = {a[4], a[4]};
    Pair v1 = v[0], v2 = v[1], v3 = v[2], v4 = v[3];
    Pair acc = {0.0, 0.0};
    for (size_t i = 0; i < n; ++i) {
        const Pair x = {double(x0[i]), double(x1[i])};
        const Pair v0 = x - a4 * v4 - a3 * v3 - a2 * v2 - a1 * v1;
        const Pair y = b4 * v4 + b3 * v3 + b2 * v2 + b1 * v1 + b0 * v0;
        acc += y * y;
        v4 = v3;
        v3 = v2;
        v2 = v1;
        v1 = v0;
    }
    v[0] = v1, v[1] = v2, v[2] = v3, v[3] = v4;
    sum = acc;
}

using PairKernel = void (*)(const float*, const float*, size_t, const double*, const double*, Pair*, Pair&);

void filterPairPlain(const float* x0, const float* x1, size_t n, const double* b, const double* a, Pair* v, Pair& sum)
{
    filterPair(x0, x1, n, b, a, v, sum);
}

#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) void filterPairFma(const float* x0, const float* x1, size_t n, const double* b,
                                                       const double* a, Pair* v, Pair& sum)
{
    filterPair(x0, x1, n, b, a, v, sum);
}
#endif

PairKernel pairKernel()
{
#if defined(__x86_64__)
    static const PairKernel chosen =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? filterPairFma : filterPairPlain;
    return chosen;
#else
    return filterPairPlain;
#endif
}

// A decaying state is set to zero long before it would reach the slow subnormal numbers; a
// value this small adds nothing anyone could hear or measure.
double flushed(double v) { return std::fabs(v) < 1e-200 ? 0.0 : v; }

} // namespace

KWeighting::KWeighting(int channels, int sampleRate) : state_(size_t(channels) * 4, 0.0), channels_(channels)
{
    const double rate = sampleRate;
    // The high shelf.
    double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(M_PI * f0 / rate);
    const double vh = std::pow(10.0, gain / 20.0), vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    const double pb[3] = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0};
    const double pa[3] = {1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    // The high-pass, its numerator left as 1, -2, 1 as the recommendation gives it.
    f0 = 38.13547087602444, q = 0.5003270373238773;
    k = std::tan(M_PI * f0 / rate);
    const double rb[3] = {1.0, -2.0, 1.0};
    const double ra[3] = {1.0, 2.0 * (k * k - 1.0) / (1.0 + k / q + k * k), (1.0 - k / q + k * k) / (1.0 + k / q + k * k)};
    // The two in one: the products of their polynomials.
    for (int i = 0; i < 5; ++i) {
        b_[i] = a_[i] = 0.0;
        for (int j = 0; j < 3; ++j)
            if (i - j >= 0 && i - j < 3) {
                b_[i] += pb[j] * rb[i - j];
                a_[i] += pa[j] * ra[i - j];
            }
    }
}

void KWeighting::run(const float* const* planes, size_t frames, double* energy, const std::vector<bool>& skip)
{
    const PairKernel kernel = pairKernel();
    // Channels two by two; a channel left over runs beside a silent one.
    for (int c = 0; c < channels_;) {
        while (c < channels_ && skip[size_t(c)])
            ++c;
        int d = c + 1;
        while (d < channels_ && skip[size_t(d)])
            ++d;
        if (c >= channels_)
            break;
        const float* x1 = nullptr;
        if (d < channels_) {
            x1 = planes[d];
        } else {
            if (silence_.size() < frames)
                silence_.assign(frames, 0.0f);
            x1 = silence_.data();
        }
        double* sc = &state_[size_t(c) * 4];
        double* sd = d < channels_ ? &state_[size_t(d) * 4] : nullptr;
        Pair v[4];
        for (int i = 0; i < 4; ++i)
            v[i] = Pair{sc[i], sd ? sd[i] : 0.0};
        Pair sum;
        kernel(planes[c], x1, frames, b_, a_, v, sum);
        for (int i = 0; i < 4; ++i) {
            sc[i] = flushed(v[i][0]);
            if (sd)
                sd[i] = flushed(v[i][1]);
        }
        energy[c] += sum[0];
        if (d < channels_)
            energy[d] += sum[1];
        c = d + 1;
    }
}

void KWeighting::reset() { std::fill(state_.begin(), state_.end(), 0.0); }

} // namespace tamblor::audio
