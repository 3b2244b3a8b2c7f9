#pragma once
// libebur128 measuring the same samples as the engine, as the reference its figures are held
// against: every mode on, the exact (not histogram) gating, a mono programme as dual mono.
#include <ebur128.h>
#include <cstddef>
#include <vector>

class ReferenceMeter {
public:
    ReferenceMeter(int channels, int rate);
    ~ReferenceMeter();
    ReferenceMeter(const ReferenceMeter&) = delete;
    ReferenceMeter& operator=(const ReferenceMeter&) = delete;

    void add(const float* interleaved, size_t frames);
    double momentary() const;
    double shortTerm() const;
    double integrated() const;
    double range() const;
    // The highest true peak of any channel, in dB.
    double truePeakDb() const;
    double samplePeakDb() const;

private:
    ebur128_state* st_;
    int channels_;
};

// Test signals, interleaved floats with full scale at 1.0.
namespace signals {
// A sine of `hz` whose peak is `dbfs`, the same on `channels` channels, starting at `phase`.
std::vector<float> tone(int rate, int channels, double hz, double dbfs, double seconds, double phase = 0.0);
// The signal faded in and out over `seconds` (a raised cosine), so that it starts and ends
// without a step, whose ringing would be a peak of its own.
std::vector<float> faded(std::vector<float> s, int rate, int channels, double seconds = 0.01);
// Pieces of a 1 kHz stereo tone one after the other: (level in dBFS, seconds).
std::vector<float> sequence(int rate, std::initializer_list<std::pair<double, double>> pieces);
// Noise as a programme has it: white noise low-passed at a sixth of the rate (nothing
// near the top of the band, where interpolating filters part ways), shaped by a level that
// wanders over 40 dB in a few seconds (so that the loudness moves), different on every channel.
std::vector<float> programme(int rate, int channels, double seconds, unsigned seed);
void append(std::vector<float>& to, const std::vector<float>& more);
} // namespace signals
