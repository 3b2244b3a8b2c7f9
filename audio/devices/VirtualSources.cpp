#include "audio/devices/VirtualBackend.h"
#include "platform/Failure.h"
#include <QFile>
#include <cmath>
#include <memory>
#include <sndfile.h>

namespace tamblor::audio::sources {

namespace {
constexpr double twoPi = 6.283185307179586;

int16_t sineAt(double hertz, int amplitude, int rate, uint64_t frame)
{
    // Phase from the frame number (mod one period), so long runs keep their precision.
    const double period = rate / hertz;
    const double within = std::fmod(double(frame), period);
    return int16_t(std::lround(amplitude * std::sin(twoPi * within / period)));
}
} // namespace

VirtualSignal silence()
{
    return [](int16_t* out, size_t frames, int channels, int, uint64_t) {
        std::fill_n(out, frames * size_t(channels), int16_t(0));
    };
}

VirtualSignal tone(double hertz, int amplitude)
{
    return [hertz, amplitude](int16_t* out, size_t frames, int channels, int rate, uint64_t first) {
        for (size_t i = 0; i < frames; ++i) {
            const int16_t v = hertz > 0 ? sineAt(hertz, amplitude, rate, first + i) : int16_t(0);
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = v;
        }
    };
}

VirtualSignal burst(uint64_t quietFrames, uint64_t loudFrames, int quietAmplitude, int loudAmplitude)
{
    return [=](int16_t* out, size_t frames, int channels, int rate, uint64_t first) {
        for (size_t i = 0; i < frames; ++i) {
            const uint64_t f = first + i;
            const bool loud = f >= quietFrames && f < quietFrames + loudFrames;
            const int16_t v = sineAt(1000.0, loud ? loudAmplitude : quietAmplitude, rate, f);
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = v;
        }
    };
}

VirtualSignal counter()
{
    return [](int16_t* out, size_t frames, int channels, int, uint64_t first) {
        for (size_t i = 0; i < frames; ++i) {
            const auto v = int16_t((first + i) % 32768);
            out[i * size_t(channels)] = v;
            if (channels > 1)
                out[i * size_t(channels) + 1] = int16_t(-v);
        }
    };
}

VirtualSignal file(const QString& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        throw Failure(QFile::exists(path) ? Failure::InvalidPropertyValue : Failure::FileNotFound);
    auto data = std::make_shared<std::vector<int16_t>>(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_short(f, data->data(), info.frames);
    sf_close(f);
    data->resize(size_t(got) * size_t(info.channels));
    const int fileChannels = info.channels;
    return [data, fileChannels](int16_t* out, size_t frames, int channels, int, uint64_t first) {
        const uint64_t total = data->size() / size_t(fileChannels);
        for (size_t i = 0; i < frames; ++i) {
            const uint64_t f = first + i;
            int16_t l = 0, r = 0;
            if (f < total) {
                l = (*data)[f * size_t(fileChannels)];
                r = fileChannels > 1 ? (*data)[f * size_t(fileChannels) + 1] : l;
            }
            if (channels == 1)
                out[i] = int16_t((int(l) + int(r)) / 2);
            else
                for (int c = 0; c < channels; ++c)
                    out[i * size_t(channels) + size_t(c)] = c == 1 ? r : l;
        }
    };
}

} // namespace tamblor::audio::sources
