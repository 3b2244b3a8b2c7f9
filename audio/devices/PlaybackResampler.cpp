#include "audio/devices/PlaybackResampler.h"
#include "platform/Failure.h"
#include <soxr.h>

namespace tamblor::audio {

PlaybackResampler::PlaybackResampler(int fromRate, int toRate) : from_(fromRate), to_(toRate)
{
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_ = soxr_create(double(fromRate), double(toRate), 2, &err, &io, &quality, nullptr);
    if (err || !soxr_)
        throw Failure(Failure::InvalidCall);
}

PlaybackResampler::~PlaybackResampler() { soxr_delete(soxr_); }

void PlaybackResampler::process(const int16_t* stereo, size_t frames, bool last, std::vector<int16_t>& out)
{
    // Whatever goes in comes out within one pass but for the filter's delay, flushed at the end.
    const size_t room = size_t(double(frames) * to_ / from_) + 1024;
    block_.resize(room * 2);
    size_t done = 0;
    while (frames > 0) {
        size_t used = 0;
        done = 0;
        if (soxr_process(soxr_, stereo, frames, &used, block_.data(), room, &done))
            return;
        out.insert(out.end(), block_.begin(), block_.begin() + ptrdiff_t(done * 2));
        stereo += used * 2;
        frames -= used;
    }
    if (!last)
        return;
    do {
        done = 0;
        soxr_process(soxr_, nullptr, 0, nullptr, block_.data(), room, &done);
        out.insert(out.end(), block_.begin(), block_.begin() + ptrdiff_t(done * 2));
    } while (done > 0);
}

void PlaybackResampler::clear() { soxr_clear(soxr_); }

} // namespace tamblor::audio
