#include "audio/devices/ToneGenerator.h"
#include "audio/core/ThreadRole.h"
#include "platform/Failure.h"
#include <algorithm>
#include <cmath>

namespace tamblor::audio {

void ToneGenerator::setFrequency(double hertz)
{
    frequency_.store(std::clamp(std::isfinite(hertz) ? hertz : 0.0, 0.0, MaxFrequency));
}

void ToneGenerator::setWaveForm(int code)
{
    if (code != Sine && code != Square && code != Triangle && code != Noise)
        throw Failure(Failure::InvalidPropertyValue);
    waveForm_.store(code);
}

void ToneGenerator::setAmplitude(int amplitude) { amplitude_.store(std::clamp(amplitude, 0, FullScale)); }

void ToneGenerator::render(int16_t* out, size_t frames)
{
    TAMBLOR_ONLY_DEVICE_CALLBACK();
    const double hertz = frequency_.load(std::memory_order_relaxed);
    const int form = waveForm_.load(std::memory_order_relaxed);
    const double peak = 32767.0 * amplitude_.load(std::memory_order_relaxed) / FullScale;
    const bool silent = form != Noise && (hertz <= 0.0 || hertz >= SampleRate / 2.0);
    const double step = hertz / SampleRate;
    for (size_t i = 0; i < frames; ++i) {
        double v = 0.0; // -1..1
        if (form == Noise) {
            noiseState_ ^= noiseState_ << 13; // xorshift32
            noiseState_ ^= noiseState_ >> 17;
            noiseState_ ^= noiseState_ << 5;
            v = double(noiseState_) / 2147483648.0 - 1.0;
        } else if (!silent) {
            switch (form) {
            case Square: v = phase_ < 0.5 ? 1.0 : -1.0; break;
            case Triangle: v = phase_ < 0.25 ? 4 * phase_ : phase_ < 0.75 ? 2 - 4 * phase_ : 4 * phase_ - 4; break;
            default: v = std::sin(6.283185307179586 * phase_); break;
            }
            phase_ += step;
            if (phase_ >= 1.0)
                phase_ -= 1.0;
        }
        const auto s = int16_t(std::lround(v * peak));
        out[2 * i] = s;
        out[2 * i + 1] = s;
    }
}

} // namespace tamblor::audio
