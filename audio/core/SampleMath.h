#pragma once
// Sample arithmetic shared by the real-time path and the file tools.
#include <cstddef>
#include <cstdint>

namespace tamblor::audio {

// Peak magnitudes (0..32767) of the left and right channel of interleaved 16-bit frames.
// Mono gives the same peak for both; -32768 counts as 32767.
void bufferPeaks(const int16_t* samples, size_t frames, int channels, int16_t& left, int16_t& right);

// Largest magnitude among 16-bit samples, any channel (0..32768: -32768 counts as 32768).
int peakMagnitude(const int16_t* samples, size_t count);

// Applies a gain in 16.14 fixed point (16384 = unity) in place, saturating at the 16-bit range.
void applyGain(int16_t* samples, size_t count, int gain);

// Float samples (1.0 is full scale) as 32-bit integer samples at the same level (full scale is
// 2^31), rounded to the nearest; only what lies beyond full scale is clipped.
void floatToFullScale(const double* in, int32_t* out, size_t count);

// Little-endian PCM samples of 8 (unsigned), 16, 24 or 32 bits as 32-bit samples at full depth
// (left-justified), as libsndfile decodes them; and back, keeping the top bits as libsndfile
// encodes them (no rounding, no dither).
void pcmToFullScale(const uint8_t* in, int bits, int32_t* out, size_t count);
void fullScaleToPcm(const int32_t* in, int bits, uint8_t* out, size_t count);

} // namespace tamblor::audio
