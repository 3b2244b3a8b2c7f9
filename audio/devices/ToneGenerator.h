#pragma once
// Test tones: stereo 16-bit frames at 44100 per second. Frequency, wave form and level are
// atomics read by the audio thread on every block, so a change is heard at once while playing.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tamblor::audio {

class ToneGenerator {
public:
    enum WaveForm { Sine = 0, Square = 1, Triangle = 2, Noise = 5 };
    static constexpr int SampleRate = 44100;
    static constexpr int Channels = 2;
    static constexpr double MaxFrequency = 29999.0;
    // 16384 is full scale (peak 32767).
    static constexpr int FullScale = 16384;

    // 0..29999 Hz (clamped). A sine, square or triangle at 0 Hz or at or above half the sample
    // rate (22050 Hz) cannot be made at 44100 per second without folding down to a false tone,
    // so it is silent; noise ignores the frequency.
    void setFrequency(double hertz);
    double frequency() const { return frequency_.load(); }
    // 0, 1, 2 or 5; other codes are failure 380.
    void setWaveForm(int code);
    int waveForm() const { return waveForm_.load(); }
    // 0..16384 (clamped).
    void setAmplitude(int amplitude);
    int amplitude() const { return amplitude_.load(); }

    // Audio thread: writes `frames` stereo frames.
    void render(int16_t* out, size_t frames);

private:
    std::atomic<double> frequency_{1000.0};
    std::atomic<int> waveForm_{Sine};
    std::atomic<int> amplitude_{FullScale};
    double phase_ = 0.0;      // 0..1 of a period; audio thread only
    uint32_t noiseState_ = 0x12345678u;
};

} // namespace tamblor::audio
