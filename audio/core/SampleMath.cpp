#include "audio/core/SampleMath.h"
#include <algorithm>
#include <cstdlib>

namespace tamblor::audio {

void bufferPeaks(const int16_t* samples, size_t frames, int channels, int16_t& left, int16_t& right)
{
    int l = 0, r = 0;
    if (channels <= 1) {
        for (size_t i = 0; i < frames; ++i)
            l = std::max(l, std::abs(int(samples[i])));
        r = l;
    } else {
        for (size_t i = 0; i < frames; ++i) {
            l = std::max(l, std::abs(int(samples[i * channels])));
            r = std::max(r, std::abs(int(samples[i * channels + 1])));
        }
    }
    left = int16_t(std::min(l, 32767));
    right = int16_t(std::min(r, 32767));
}

void applyGain(int16_t* samples, size_t count, int gain)
{
    if (gain == 16384)
        return;
    for (size_t i = 0; i < count; ++i) {
        const int64_t v = (int64_t(samples[i]) * gain) >> 14;
        samples[i] = int16_t(std::clamp<int64_t>(v, -32768, 32767));
    }
}

} // namespace tamblor::audio
