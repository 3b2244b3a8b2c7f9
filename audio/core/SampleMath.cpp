#include "audio/core/SampleMath.h"
#include <algorithm>
#include <cmath>
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

// The loops over whole files also get a copy for wider vector units, chosen when the program
// loads (not under the sanitizers, whose start-up the choosing would run ahead of).
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__) && !defined(__SANITIZE_ADDRESS__) \
    && !defined(__SANITIZE_THREAD__)
#define TAMBLOR_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define TAMBLOR_WIDE_VECTORS
#endif

TAMBLOR_WIDE_VECTORS int peakMagnitude(const int16_t* samples, size_t count)
{
    int lo = 0, hi = 0;
    for (size_t i = 0; i < count; ++i) {
        lo = std::min(lo, int(samples[i]));
        hi = std::max(hi, int(samples[i]));
    }
    return std::max(-lo, hi);
}

namespace {

// A gain below 4 (the usual one) keeps every product inside 32 bits, which vector units
// multiply several times faster than 64-bit ones; the result is the same.
TAMBLOR_WIDE_VECTORS void applySmallGain(int16_t* samples, size_t count, int32_t gain)
{
    for (size_t i = 0; i < count; ++i) {
        const int32_t v = (int32_t(samples[i]) * gain) >> 14;
        samples[i] = int16_t(std::clamp<int32_t>(v, -32768, 32767));
    }
}

TAMBLOR_WIDE_VECTORS void applyLargeGain(int16_t* samples, size_t count, int64_t gain)
{
    for (size_t i = 0; i < count; ++i) {
        const int64_t v = (int64_t(samples[i]) * gain) >> 14;
        samples[i] = int16_t(std::clamp<int64_t>(v, -32768, 32767));
    }
}

} // namespace

void applyGain(int16_t* samples, size_t count, int gain)
{
    if (gain == 16384)
        return;
    if (gain >= 0 && gain < 65536)
        applySmallGain(samples, count, gain);
    else
        applyLargeGain(samples, count, gain);
}

void floatToFullScale(const double* in, int32_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const double v = std::nearbyint(in[i] * 2147483648.0);
        out[i] = v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : int32_t(v);
    }
}

void pcmToFullScale(const uint8_t* in, int bits, int32_t* out, size_t count)
{
    switch (bits) {
    case 8:
        for (size_t i = 0; i < count; ++i)
            out[i] = int32_t(uint32_t(in[i] ^ 0x80u) << 24);
        break;
    case 16:
        for (size_t i = 0; i < count; ++i)
            out[i] = int32_t((uint32_t(in[2 * i]) | uint32_t(in[2 * i + 1]) << 8) << 16);
        break;
    case 24:
        for (size_t i = 0; i < count; ++i)
            out[i] = int32_t(uint32_t(in[3 * i]) << 8 | uint32_t(in[3 * i + 1]) << 16 | uint32_t(in[3 * i + 2]) << 24);
        break;
    default:
        for (size_t i = 0; i < count; ++i)
            out[i] = int32_t(uint32_t(in[4 * i]) | uint32_t(in[4 * i + 1]) << 8 | uint32_t(in[4 * i + 2]) << 16
                             | uint32_t(in[4 * i + 3]) << 24);
        break;
    }
}

void fullScaleToPcm(const int32_t* in, int bits, uint8_t* out, size_t count)
{
    switch (bits) {
    case 8:
        for (size_t i = 0; i < count; ++i)
            out[i] = uint8_t((uint32_t(in[i]) >> 24) ^ 0x80u);
        break;
    case 16:
        for (size_t i = 0; i < count; ++i) {
            const auto v = uint32_t(in[i]);
            out[2 * i] = uint8_t(v >> 16);
            out[2 * i + 1] = uint8_t(v >> 24);
        }
        break;
    case 24:
        for (size_t i = 0; i < count; ++i) {
            const auto v = uint32_t(in[i]);
            out[3 * i] = uint8_t(v >> 8);
            out[3 * i + 1] = uint8_t(v >> 16);
            out[3 * i + 2] = uint8_t(v >> 24);
        }
        break;
    default:
        for (size_t i = 0; i < count; ++i) {
            const auto v = uint32_t(in[i]);
            for (int b = 0; b < 4; ++b)
                out[4 * i + size_t(b)] = uint8_t(v >> (8 * b));
        }
        break;
    }
}

} // namespace tamblor::audio
