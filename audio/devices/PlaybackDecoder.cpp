#include "audio/devices/PlaybackDecoder.h"
#include <algorithm>
#include <cmath>
#include <sndfile.h>

namespace tamblor::audio {

PlaybackDecoder::PlaybackDecoder(SNDFILE* file, int channels, qint64 frames)
    : file_(file), channels_(channels), frames_(frames)
{
    SF_INFO info{};
    sf_command(file_, SFC_GET_CURRENT_SF_INFO, &info, sizeof(info));
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    float_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

void PlaybackDecoder::seek(qint64 frame)
{
    at_ = std::clamp<qint64>(frame, 0, frames_);
    sf_seek(file_, at_, SEEK_SET);
}

size_t PlaybackDecoder::read(int16_t* stereo, size_t frames)
{
    const qint64 want = std::clamp<qint64>(frames_ - at_, 0, qint64(frames));
    if (want == 0)
        return 0;
    const size_t samples = size_t(want) * size_t(channels_);
    sf_count_t got = 0;
    if (float_) {
        floats_.resize(samples);
        got = sf_readf_float(file_, floats_.data(), want);
        shorts_.resize(samples);
        // 1.0 is full scale: a float made from a 16-bit sample k (k / 32768) gives k again.
        for (size_t i = 0; i < size_t(std::max<sf_count_t>(got, 0)) * size_t(channels_); ++i)
            shorts_[i] = int16_t(std::clamp(std::lround(double(floats_[i]) * 32768.0), -32768L, 32767L));
    } else {
        shorts_.resize(samples);
        got = sf_readf_short(file_, shorts_.data(), want);
    }
    const size_t n = got > 0 ? size_t(got) : 0;
    at_ += qint64(n);
    if (channels_ == 1) {
        for (size_t i = 0; i < n; ++i)
            stereo[2 * i] = stereo[2 * i + 1] = shorts_[i];
    } else {
        std::copy_n(shorts_.begin(), n * 2, stereo);
    }
    return n;
}

} // namespace tamblor::audio
