#include "audio/files/Loudness.h"
#include "audio/format/FileFailure.h"
#include <ebur128.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace tamblor::audio {

namespace {

void check(int result)
{
    if (result == EBUR128_ERROR_NOMEM)
        throw std::bad_alloc();
    if (result != EBUR128_SUCCESS)
        throw invalidCall(QStringLiteral("loudness measurement failed (%1)").arg(result));
}

double toDb(double linear)
{
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

} // namespace

struct LoudnessMeter::State {
    ebur128_state* st = nullptr;
    ~State()
    {
        if (st)
            ebur128_destroy(&st);
    }
};

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : state_(std::make_unique<State>())
{
    if (channels < 1 || sampleRate < 1)
        throw invalidCall(QStringLiteral("no loudness for %1 channels at %2 Hz").arg(channels).arg(sampleRate));
    state_->st = ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate),
                              EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (!state_->st)
        throw std::bad_alloc();
    if (channels == 1)
        check(ebur128_set_channel(state_->st, 0, EBUR128_DUAL_MONO));
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const int16_t* samples, size_t frames)
{
    check(ebur128_add_frames_short(state_->st, samples, frames));
}

void LoudnessMeter::add(const float* samples, size_t frames)
{
    check(ebur128_add_frames_float(state_->st, samples, frames));
}

LoudnessFigures LoudnessMeter::figures() const
{
    LoudnessFigures f{};
    check(ebur128_loudness_global(state_->st, &f.integratedLufs));
    check(ebur128_loudness_range(state_->st, &f.rangeLu));
    double peak = 0;
    for (unsigned c = 0; c < state_->st->channels; ++c) {
        double p = 0;
        check(ebur128_true_peak(state_->st, c, &p));
        peak = std::max(peak, p);
    }
    f.truePeakDbtp = toDb(peak);
    return f;
}

} // namespace tamblor::audio
