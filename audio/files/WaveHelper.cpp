#include "audio/files/WaveHelper.h"
#include "audio/core/SampleMath.h"
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tamblor::audio {

namespace {

// Interleaved samples with `lanes` channels (1 or 2): the vector loops keep even lanes for the
// first channel and odd lanes for the second, so one pass serves both channels.
void extremes16(const uint8_t* p, int64_t samples, int lanes, int16_t mn[2], int16_t mx[2])
{
    int64_t i = 0;
    int16_t lo[2] = {32767, 32767}, hi[2] = {-32768, -32768};
#if defined(__SSE2__)
    if (samples >= 32) {
        __m128i mn0 = _mm_set1_epi16(32767), mn1 = mn0, mn2 = mn0, mn3 = mn0;
        __m128i mx0 = _mm_set1_epi16(-32768), mx1 = mx0, mx2 = mx0, mx3 = mx0;
        for (; i + 32 <= samples; i += 32) {
            const __m128i* v = reinterpret_cast<const __m128i*>(p + 2 * i);
            const __m128i a = _mm_loadu_si128(v), b = _mm_loadu_si128(v + 1);
            const __m128i c = _mm_loadu_si128(v + 2), d = _mm_loadu_si128(v + 3);
            mn0 = _mm_min_epi16(mn0, a); mx0 = _mm_max_epi16(mx0, a);
            mn1 = _mm_min_epi16(mn1, b); mx1 = _mm_max_epi16(mx1, b);
            mn2 = _mm_min_epi16(mn2, c); mx2 = _mm_max_epi16(mx2, c);
            mn3 = _mm_min_epi16(mn3, d); mx3 = _mm_max_epi16(mx3, d);
        }
        mn0 = _mm_min_epi16(_mm_min_epi16(mn0, mn1), _mm_min_epi16(mn2, mn3));
        mx0 = _mm_max_epi16(_mm_max_epi16(mx0, mx1), _mm_max_epi16(mx2, mx3));
        alignas(16) int16_t a[8], b[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(a), mn0);
        _mm_store_si128(reinterpret_cast<__m128i*>(b), mx0);
        for (int k = 0; k < 8; ++k) {
            const int ch = lanes == 2 ? (k & 1) : 0;
            lo[ch] = std::min(lo[ch], a[k]);
            hi[ch] = std::max(hi[ch], b[k]);
        }
    }
#endif
    for (; i < samples; ++i) {
        int16_t s;
        std::memcpy(&s, p + 2 * i, 2);
        const int ch = lanes == 2 ? int(i & 1) : 0;
        lo[ch] = std::min(lo[ch], s);
        hi[ch] = std::max(hi[ch], s);
    }
    const int second = lanes == 2 ? 1 : 0;
    mn[0] = lo[0]; mx[0] = hi[0];
    mn[1] = lo[second]; mx[1] = hi[second];
}

void extremes8(const uint8_t* p, int64_t samples, int lanes, int16_t mn[2], int16_t mx[2])
{
    int64_t i = 0;
    uint8_t lo[2] = {255, 255}, hi[2] = {0, 0};
#if defined(__SSE2__)
    if (samples >= 64) {
        __m128i mn0 = _mm_set1_epi8(char(0xFF)), mn1 = mn0;
        __m128i mx0 = _mm_setzero_si128(), mx1 = mx0;
        for (; i + 32 <= samples; i += 32) {
            const __m128i* v = reinterpret_cast<const __m128i*>(p + i);
            const __m128i a = _mm_loadu_si128(v), b = _mm_loadu_si128(v + 1);
            mn0 = _mm_min_epu8(mn0, a); mx0 = _mm_max_epu8(mx0, a);
            mn1 = _mm_min_epu8(mn1, b); mx1 = _mm_max_epu8(mx1, b);
        }
        alignas(16) uint8_t a[16], b[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(a), _mm_min_epu8(mn0, mn1));
        _mm_store_si128(reinterpret_cast<__m128i*>(b), _mm_max_epu8(mx0, mx1));
        for (int k = 0; k < 16; ++k) {
            const int ch = lanes == 2 ? (k & 1) : 0;
            lo[ch] = std::min(lo[ch], a[k]);
            hi[ch] = std::max(hi[ch], b[k]);
        }
    }
#endif
    for (; i < samples; ++i) {
        const int ch = lanes == 2 ? int(i & 1) : 0;
        lo[ch] = std::min(lo[ch], p[i]);
        hi[ch] = std::max(hi[ch], p[i]);
    }
    const int second = lanes == 2 ? 1 : 0;
    mn[0] = lo[0]; mx[0] = hi[0];
    mn[1] = lo[second]; mx[1] = hi[second];
}

// Frames of more than two channels: only the first two count.
template <typename Sample>
void extremesWide(const uint8_t* p, int64_t frames, int channels, int16_t mn[2], int16_t mx[2])
{
    int lo[2] = {INT16_MAX, INT16_MAX}, hi[2] = {INT16_MIN, INT16_MIN};
    for (int64_t f = 0; f < frames; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            Sample s;
            std::memcpy(&s, p + (f * channels + ch) * int64_t(sizeof(Sample)), sizeof(Sample));
            lo[ch] = std::min<int>(lo[ch], s);
            hi[ch] = std::max<int>(hi[ch], s);
        }
    for (int ch = 0; ch < 2; ++ch) {
        mn[ch] = int16_t(lo[ch]);
        mx[ch] = int16_t(hi[ch]);
    }
}

// 24- and 32-bit PCM frames: the top 16 bits of each sample of the first two channels.
void extremesDeep(const uint8_t* p, int64_t frames, int channels, int sampleBytes, int16_t mn[2], int16_t mx[2])
{
    const int lanes = std::min(channels, 2);
    int16_t lo[2] = {INT16_MAX, INT16_MAX}, hi[2] = {INT16_MIN, INT16_MIN};
    for (int64_t f = 0; f < frames; ++f)
        for (int ch = 0; ch < lanes; ++ch) {
            const uint8_t* s = p + (f * channels + ch) * sampleBytes + (sampleBytes - 2);
            const auto v = int16_t(uint16_t(s[0] | s[1] << 8));
            lo[ch] = std::min(lo[ch], v);
            hi[ch] = std::max(hi[ch], v);
        }
    const int second = lanes == 2 ? 1 : 0;
    mn[0] = lo[0]; mx[0] = hi[0];
    mn[1] = lo[second]; mx[1] = hi[second];
}

} // namespace

BlockExtremes blockExtremes(const WaveFormat& format, const void* data, int64_t& byteCount)
{
    const bool eight = format.bitsPerSample <= 8;
    const bool deep = format.isPcm() && (format.bitsPerSample == 24 || format.bitsPerSample == 32);
    const int sampleBytes = eight ? 1 : deep ? format.bitsPerSample / 8 : 2;
    const int channels = std::max(1, format.channels);
    const int64_t frameBytes = int64_t(sampleBytes) * channels;
    const int64_t frames = data && byteCount > 0 ? byteCount / frameBytes : 0;
    byteCount = frames * frameBytes;

    BlockExtremes r;
    if (frames == 0) {
        const int16_t silent = eight ? 128 : 0;
        r = {silent, silent, silent, silent};
        return r;
    }
    int16_t mn[2], mx[2];
    const auto* p = static_cast<const uint8_t*>(data);
    if (deep)
        extremesDeep(p, frames, channels, sampleBytes, mn, mx);
    else if (channels > 2)
        eight ? extremesWide<uint8_t>(p, frames, channels, mn, mx)
              : extremesWide<int16_t>(p, frames, channels, mn, mx);
    else if (eight)
        extremes8(p, frames * channels, channels, mn, mx);
    else
        extremes16(p, frames * channels, channels, mn, mx);
    r.min1 = mn[0]; r.max1 = mx[0]; r.min2 = mn[1]; r.max2 = mx[1];
    return r;
}

void blockExtremes(const WaveFormat& format, const void* data, int64_t& byteCount,
                   int16_t& min1, int16_t& max1, int16_t& min2, int16_t& max2)
{
    const BlockExtremes r = blockExtremes(format, data, byteCount);
    min1 = r.min1; max1 = r.max1; min2 = r.min2; max2 = r.max2;
}

void bufferPeakLevels(const WaveFormat& format, const void* data, int64_t byteCount,
                      int16_t& left, int16_t& right)
{
    if (format.bitsPerSample <= 8) {
        // Through the extremes: an 8-bit sample v is (v - 128) * 256 in the 16-bit range.
        const BlockExtremes e = blockExtremes(format, data, byteCount);
        const auto mag = [](int lo, int hi) {
            return int16_t(std::min(32767, std::max(128 - lo, hi - 128) * 256));
        };
        left = mag(e.min1, e.max1);
        right = mag(e.min2, e.max2);
        return;
    }
    const int channels = std::max(1, format.channels);
    const size_t frames = data && byteCount > 0 ? size_t(byteCount) / (2 * channels) : 0;
    bufferPeaks(static_cast<const int16_t*>(data), frames, channels, left, right);
}

WaveFormat derivedFormat(int sampleRate, const WaveFormat& source)
{
    return source.atRate(sampleRate);
}

} // namespace tamblor::audio
