#include "audio/files/FormatConverter.h"
#include "audio/files/ResamplerSetup.h"
#include "audio/format/FileFailure.h"
#include <algorithm>
#include <soxr.h>
#include <thread>

namespace tamblor::audio {

FormatConverter::FormatConverter(const ChainLinks& links, QString linkName)
    : links_(links), name_(std::move(linkName))
{
}

FormatConverter::~FormatConverter() { release(); }

WaveFormat FormatConverter::resolveFormat(const WaveFormat&) const
{
    return links_.find(output_).resolveFormat(dest_);
}

void FormatConverter::begin(const WaveFormat& in)
{
    release();
    if (dest_.sampleRate <= 0 || dest_.channels < 1 || dest_.channels > 2)
        throw invalidCall(QStringLiteral("destination format"));
    if (in.channels < 1 || in.channels > 2)
        throw invalidCall(QStringLiteral("%1 source channels").arg(in.channels));
    ChainLink* next = &links_.find(output_);
    inChannels_ = in.channels;
    const bool resample = in.sampleRate != dest_.sampleRate;
    if (resample && !overlapped_) {
        resampler_ = createResampler(in.sampleRate, dest_.sampleRate, dest_.channels,
                                     std::max(1u, std::thread::hardware_concurrency()));
    }
    next->begin(dest_);
    if (resample && overlapped_) {
        try {
            stages_ = std::make_unique<OverlappedResampler>(in.sampleRate, dest_.sampleRate, dest_.channels, *next);
        } catch (...) {
            next->abort();
            throw;
        }
    }
    next_ = next;
}

void FormatConverter::push(const int32_t* frames, int64_t count)
{
    const int32_t* src = frames;
    if (inChannels_ != dest_.channels) {
        // Mono to stereo doubles each sample; stereo to mono averages the pair.
        mixed_.resize(size_t(count) * size_t(dest_.channels));
        for (int64_t i = 0; i < count; ++i) {
            if (dest_.channels == 2) {
                mixed_[2 * i] = mixed_[2 * i + 1] = frames[i];
            } else {
                mixed_[i] = int32_t((int64_t(frames[2 * i]) + int64_t(frames[2 * i + 1])) / 2);
            }
        }
        src = mixed_.data();
    }
    if (stages_)
        stages_->push(src, count);
    else
        drain(src, size_t(count));
}

// Hands count frames on, through the resampler when the rate changes. A null `frames`
// flushes what the resampler still holds.
void FormatConverter::drain(const int32_t* frames, size_t count)
{
    if (!resampler_) {
        if (frames && count)
            next_->push(frames, int64_t(count));
        return;
    }
    size_t consumed = 0;
    do {
        out_.resize(std::max<size_t>(4096, count) * size_t(dest_.channels));
        const size_t room = out_.size() / size_t(dest_.channels);
        size_t used = 0, done = 0;
        const soxr_error_t err = soxr_process(
            resampler_, frames ? frames + consumed * size_t(dest_.channels) : nullptr,
            frames ? count - consumed : 0, &used, out_.data(), room, &done);
        if (err)
            throw Failure(Failure::DeviceIOError, QStringLiteral("Resampler: ") + err);
        consumed += used;
        if (done)
            next_->push(out_.data(), int64_t(done));
        if (!frames && done == 0)
            break; // flushed
        if (frames && consumed >= count && done < room)
            break;
    } while (true);
}

void FormatConverter::finish()
{
    if (!next_)
        return;
    if (stages_)
        stages_->finish();
    else if (resampler_)
        drain(nullptr, 0);
    ChainLink* next = next_;
    release();
    next->finish();
}

void FormatConverter::abort() noexcept
{
    stages_.reset(); // its threads stop feeding the next link first
    if (next_)
        next_->abort();
    release();
}

void FormatConverter::release() noexcept
{
    stages_.reset();
    if (resampler_)
        soxr_delete(resampler_);
    resampler_ = nullptr;
    next_ = nullptr;
}

} // namespace tamblor::audio
