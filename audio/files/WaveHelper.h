#pragma once
// Sample scans over raw wave data: block extremes for drawing, per-buffer peaks for meters,
// and the format derived for another rate.
#include "audio/core/WaveFormat.h"
#include <cstdint>

namespace tamblor::audio {

// The extremes of the first and second channel over a block of raw sample bytes.
// min1/max1 belong to the first channel, min2/max2 to the second; for mono data the second
// pair repeats the first. Samples of 8 bits or fewer come back unsigned (0..255); 24- and
// 32-bit PCM samples come back as their top 16 bits; all others are read as signed 16-bit
// samples (data that is not PCM is scanned as if it were).
// byteCount is cut to whole frames and returns the bytes scanned. An empty block gives the
// silent value for all four: 128 for 8-bit data, 0 otherwise.
struct BlockExtremes {
    int16_t min1 = 0, max1 = 0, min2 = 0, max2 = 0;
};
BlockExtremes blockExtremes(const WaveFormat& format, const void* data, int64_t& byteCount);
// The same, with the four results by reference as the editor's drawing loop takes them.
void blockExtremes(const WaveFormat& format, const void* data, int64_t& byteCount,
                   int16_t& min1, int16_t& max1, int16_t& min2, int16_t& max2);

// Peak magnitudes 0..32767 of the left and right channel of one buffer of raw sample bytes
// (8-bit samples are scaled to the 16-bit range). Mono gives the same peak for both.
void bufferPeakLevels(const WaveFormat& format, const void* data, int64_t byteCount,
                      int16_t& left, int16_t& right);

// A format like the source's at another rate ("like the source's at 22050").
WaveFormat derivedFormat(int sampleRate, const WaveFormat& source);

} // namespace tamblor::audio
