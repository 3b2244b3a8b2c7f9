#include "tests/support/WavBytes.h"
#include <cmath>
#include <cstring>

namespace wavtest {

QByteArray le16(int v)
{
    QByteArray b(2, 0);
    b[0] = char(v & 0xFF);
    b[1] = char((v >> 8) & 0xFF);
    return b;
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray chunk(const char* id, const QByteArray& body, int64_t sizeField)
{
    QByteArray c(id, 4);
    c += le32(uint32_t(sizeField < 0 ? body.size() : sizeField)) + body;
    if (body.size() % 2)
        c += char(0);
    return c;
}

QByteArray fmtBody(const WaveFormat& f)
{
    QByteArray b = le16(f.formatTag) + le16(f.channels) + le32(uint32_t(f.sampleRate)) +
                   le32(uint32_t(f.avgBytesPerSecond)) + le16(f.blockAlign) + le16(f.bitsPerSample);
    if (f.formatTag == WaveFormat::MsAdpcm)
        b += le16(2) + le16(f.samplesPerBlock);
    return b;
}

QByteArray riff(const QByteArray& chunks)
{
    return QByteArray("RIFF") + le32(uint32_t(chunks.size() + 4)) + QByteArray("WAVE") + chunks;
}

QByteArray wavBytes(const WaveFormat& format, const QByteArray& data)
{
    return riff(chunk("fmt ", fmtBody(format)) + chunk("data", data));
}

QByteArray wav(int formatTag, int channels, int rate, int bits, const QByteArray& data, int64_t dataSizeField)
{
    WaveFormat format = WaveFormat::pcm(rate, channels, bits);
    format.formatTag = formatTag;
    return riff(chunk("fmt ", fmtBody(format)) + chunk("data", data, dataSizeField));
}

std::vector<int16_t> sine(int rate, int channels, double hz, double seconds, int amplitude)
{
    const size_t frames = size_t(std::llround(rate * seconds));
    std::vector<int16_t> s(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * double(i) / rate)));
        for (int c = 0; c < channels; ++c)
            s[i * size_t(channels) + size_t(c)] = v;
    }
    return s;
}

QByteArray pcmBytes(const std::vector<int16_t>& samples, int bits)
{
    if (bits == 8) {
        QByteArray b(qsizetype(samples.size()), 0);
        for (size_t i = 0; i < samples.size(); ++i)
            b[qsizetype(i)] = char(uint8_t((samples[i] >> 8) + 128));
        return b;
    }
    QByteArray b;
    b.reserve(qsizetype(samples.size() * 2));
    for (int16_t s : samples)
        b += le16(s);
    return b;
}

std::vector<int16_t> samplesOf(const QByteArray& bytes16)
{
    std::vector<int16_t> s(size_t(bytes16.size()) / 2);
    std::memcpy(s.data(), bytes16.constData(), s.size() * 2);
    return s;
}

double toneFrequency(const std::vector<int16_t>& samples, int channels, int rate)
{
    // Interpolated crossing instants, first to last, so the count is exact to a fraction.
    // A crossing counts only after the signal went clearly negative, so coding noise around
    // zero adds none.
    double first = -1, last = -1;
    int crossings = 0;
    bool armed = false;
    const size_t frames = samples.size() / size_t(channels);
    for (size_t i = 1; i < frames; ++i) {
        const double a = samples[(i - 1) * size_t(channels)], b = samples[i * size_t(channels)];
        if (a < -1000)
            armed = true;
        if (armed && a < 0 && b >= 0) {
            armed = false;
            const double t = double(i - 1) + (-a) / (b - a);
            if (first < 0)
                first = t;
            else
                ++crossings;
            last = t;
        }
    }
    return crossings > 0 ? crossings * rate / (last - first) : 0.0;
}

} // namespace wavtest
