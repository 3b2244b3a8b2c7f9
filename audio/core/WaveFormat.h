#pragma once
// A wave format as the audio layer passes it around (the windows' "format reference").
#include <QString>
#include <cstdint>

namespace tamblor::audio {

struct WaveFormat {
    enum Tag : int { Pcm = 1, MsAdpcm = 2, IeeeFloat = 3 };

    int formatTag = Pcm;
    int channels = 2;
    int sampleRate = 44100;
    int bitsPerSample = 16;
    // Bytes per block; for PCM channels * bits / 8.
    int blockAlign = 4;
    // Average bytes per second as a file header states it.
    int avgBytesPerSecond = 176400;
    // MS-ADPCM only: samples per block (0 for PCM).
    int samplesPerBlock = 0;

    static WaveFormat pcm(int sampleRate, int channels, int bitsPerSample);
    // A format like this one but at another rate (block sizes kept, byte rate recomputed).
    WaveFormat atRate(int sampleRate) const;
    bool isPcm() const { return formatTag == Pcm; }
    bool isFloat() const { return formatTag == IeeeFloat; }
    // Samples stored one by one (integer or float), so a frame is blockAlign bytes.
    bool isLinear() const { return formatTag == Pcm || formatTag == IeeeFloat; }
    bool isStereo() const { return channels > 1; }
    bool operator==(const WaveFormat&) const = default;
};

inline WaveFormat WaveFormat::pcm(int rate, int ch, int bits)
{
    WaveFormat f;
    f.formatTag = Pcm;
    f.channels = ch;
    f.sampleRate = rate;
    f.bitsPerSample = bits;
    f.blockAlign = ch * bits / 8;
    f.avgBytesPerSecond = rate * f.blockAlign;
    f.samplesPerBlock = 0;
    return f;
}

inline WaveFormat WaveFormat::atRate(int rate) const
{
    WaveFormat f = *this;
    f.sampleRate = rate;
    if (isLinear())
        f.avgBytesPerSecond = rate * blockAlign;
    else if (samplesPerBlock > 0)
        f.avgBytesPerSecond = static_cast<int>(int64_t(rate) * blockAlign / samplesPerBlock);
    return f;
}

} // namespace tamblor::audio
