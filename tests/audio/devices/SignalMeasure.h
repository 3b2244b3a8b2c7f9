#pragma once
// Measurements of produced samples and wave file helpers for the device tests.
#include <QString>
#include <cstdint>
#include <vector>

namespace tamblor::audio::measure {

// One channel of interleaved frames.
std::vector<int16_t> channel(const std::vector<int16_t>& interleaved, int channels, int which);
// Frequency from the rising zero crossings.
double frequencyOf(const std::vector<int16_t>& mono, int sampleRate);
int peakOf(const std::vector<int16_t>& mono);
double meanMagnitude(const std::vector<int16_t>& mono);

struct WavContents {
    int sampleRate = 0;
    int channels = 0;
    int format = 0; // libsndfile format word
    std::vector<int16_t> samples;
};
// Reads a whole wave file; sampleRate 0 when it does not open.
WavContents readWav(const QString& path);
// Writes 16-bit (or, with eightBit, unsigned 8-bit) PCM.
void writeWav(const QString& path, int sampleRate, int channels, const std::vector<int16_t>& samples,
              bool eightBit = false);

} // namespace tamblor::audio::measure
