#include "SignalMeasure.h"
#include <QFile>
#include <cmath>
#include <cstdlib>
#include <sndfile.h>

namespace tamblor::audio::measure {

std::vector<int16_t> channel(const std::vector<int16_t>& interleaved, int channels, int which)
{
    std::vector<int16_t> out;
    for (size_t i = size_t(which); i < interleaved.size(); i += size_t(channels))
        out.push_back(interleaved[i]);
    return out;
}

double frequencyOf(const std::vector<int16_t>& mono, int sampleRate)
{
    // Interpolated crossing times, first to last: exact for whole and partial periods alike.
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < mono.size(); ++i) {
        if (mono[i - 1] < 0 && mono[i] >= 0) {
            const double t = double(i - 1) + double(-mono[i - 1]) / double(mono[i] - mono[i - 1]);
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * double(sampleRate) / (last - first);
}

int peakOf(const std::vector<int16_t>& mono)
{
    int p = 0;
    for (int16_t v : mono)
        p = std::max(p, std::abs(int(v)));
    return p;
}

double meanMagnitude(const std::vector<int16_t>& mono)
{
    double sum = 0;
    for (int16_t v : mono)
        sum += std::abs(int(v));
    return mono.empty() ? 0.0 : sum / double(mono.size());
}

WavContents readWav(const QString& path)
{
    WavContents w;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return w;
    w.sampleRate = info.samplerate;
    w.channels = info.channels;
    w.format = info.format;
    w.samples.resize(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_short(f, w.samples.data(), info.frames);
    w.samples.resize(size_t(got) * size_t(info.channels));
    sf_close(f);
    return w;
}

void writeWav(const QString& path, int sampleRate, int channels, const std::vector<int16_t>& samples,
              bool eightBit)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (eightBit ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    sf_writef_short(f, samples.data(), sf_count_t(samples.size() / size_t(channels)));
    sf_close(f);
}

} // namespace tamblor::audio::measure
