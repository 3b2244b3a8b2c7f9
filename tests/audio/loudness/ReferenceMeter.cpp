#include "ReferenceMeter.h"
#include <ebur128.h>
#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

ReferenceMeter::ReferenceMeter(int channels, int rate)
    : st_(ebur128_init(unsigned(channels), static_cast<unsigned long>(rate),
                       EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK
                           | EBUR128_MODE_SAMPLE_PEAK)),
      channels_(channels)
{
    if (!st_)
        throw std::runtime_error("libebur128 would not start");
    if (channels == 1)
        ebur128_set_channel(st_, 0, EBUR128_DUAL_MONO);
}

ReferenceMeter::~ReferenceMeter() { ebur128_destroy(&st_); }

void ReferenceMeter::add(const float* interleaved, size_t frames) { ebur128_add_frames_float(st_, interleaved, frames); }

double ReferenceMeter::momentary() const
{
    double v = 0;
    ebur128_loudness_momentary(st_, &v);
    return v;
}

double ReferenceMeter::shortTerm() const
{
    double v = 0;
    ebur128_loudness_shortterm(st_, &v);
    return v;
}

double ReferenceMeter::integrated() const
{
    double v = 0;
    ebur128_loudness_global(st_, &v);
    return v;
}

double ReferenceMeter::range() const
{
    double v = 0;
    ebur128_loudness_range(st_, &v);
    return v;
}

double ReferenceMeter::truePeakDb() const
{
    double most = 0;
    for (int c = 0; c < channels_; ++c) {
        double p = 0;
        ebur128_true_peak(st_, unsigned(c), &p);
        most = std::max(most, p);
    }
    return 20 * std::log10(most);
}

double ReferenceMeter::samplePeakDb() const
{
    double most = 0;
    for (int c = 0; c < channels_; ++c) {
        double p = 0;
        ebur128_sample_peak(st_, unsigned(c), &p);
        most = std::max(most, p);
    }
    return 20 * std::log10(most);
}

namespace signals {

std::vector<float> tone(int rate, int channels, double hz, double dbfs, double seconds, double phase)
{
    const auto frames = size_t(std::lround(seconds * rate));
    const double amplitude = std::pow(10.0, dbfs / 20.0);
    std::vector<float> s(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        const auto v = float(amplitude * std::sin(2 * M_PI * hz * double(i) / rate + phase));
        for (int c = 0; c < channels; ++c)
            s[i * size_t(channels) + size_t(c)] = v;
    }
    return s;
}

std::vector<float> faded(std::vector<float> s, int rate, int channels, double seconds)
{
    const size_t frames = s.size() / size_t(channels), ramp = std::min(frames / 2, size_t(seconds * rate));
    for (size_t i = 0; i < ramp; ++i) {
        const auto g = float(0.5 - 0.5 * std::cos(M_PI * double(i) / double(ramp)));
        for (int c = 0; c < channels; ++c) {
            s[i * size_t(channels) + size_t(c)] *= g;
            s[(frames - 1 - i) * size_t(channels) + size_t(c)] *= g;
        }
    }
    return s;
}

std::vector<float> sequence(int rate, std::initializer_list<std::pair<double, double>> pieces)
{
    std::vector<float> all;
    for (auto [dbfs, seconds] : pieces)
        append(all, tone(rate, 2, 1000.0, dbfs, seconds));
    return all;
}

std::vector<float> programme(int rate, int channels, double seconds, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const auto frames = size_t(seconds * rate);
    std::vector<float> s(frames * size_t(channels));
    // Two second-order low-passes (Butterworth, bilinear) at a sixth of the rate.
    const double k = std::tan(M_PI / 6.0), q = M_SQRT1_2, norm = 1.0 / (1.0 + k / q + k * k);
    const double b0 = k * k * norm, b1 = 2 * b0, a1 = 2 * (k * k - 1) * norm, a2 = (1 - k / q + k * k) * norm;
    std::vector<double> state(size_t(channels) * 4, 0.0);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        // A level between about -40 and -6 dBFS, swelling and falling over a few seconds.
        const double db = -23.0 + 12.0 * std::sin(2 * M_PI * t / 7.3) + 5.0 * std::sin(2 * M_PI * t / 1.7);
        const double level = std::pow(10.0, db / 20.0);
        for (int c = 0; c < channels; ++c) {
            double x = 1.5 * level * noise(rng);
            for (int stage = 0; stage < 2; ++stage) {
                double* z = &state[size_t(c) * 4 + size_t(stage) * 2];
                const double y = b0 * x + z[0];
                z[0] = b1 * x - a1 * y + z[1];
                z[1] = b0 * x - a2 * y;
                x = y;
            }
            s[i * size_t(channels) + size_t(c)] = float(x);
        }
    }
    return s;
}

void append(std::vector<float>& to, const std::vector<float>& more) { to.insert(to.end(), more.begin(), more.end()); }

} // namespace signals
