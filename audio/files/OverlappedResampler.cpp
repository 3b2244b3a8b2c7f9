#include "audio/files/OverlappedResampler.h"
#include "audio/core/ThreadRole.h"
#include "audio/files/ResamplerSetup.h"
#include "audio/format/FileFailure.h"
#include <algorithm>
#include <cmath>
#include <soxr.h>

namespace tamblor::audio {

OverlappedResampler::OverlappedResampler(int inRate, int outRate, int channels, ChainLink& next)
    : next_(next), channels_(channels)
{
    if (channels < 1 || channels > 2)
        throw invalidCall(QStringLiteral("%1 channels").arg(channels));
    // Room for one block's frames at the new rate and what the filter may hold back.
    const auto outFrames = size_t(std::ceil(double(kBlockFrames) * outRate / inRate)) + 8192;
    for (Block& b : blocks_) {
        for (int c = 0; c < channels_; ++c) {
            b.in[c].resize(kBlockFrames);
            b.out[c].resize(outFrames);
        }
    }
    interleaved_.resize(outFrames * size_t(channels_));
    try {
        for (int c = 0; c < channels_; ++c)
            resamplers_[c] = createResampler(inRate, outRate, 1, 1);
        for (int c = 0; c < channels_; ++c)
            channelThreads_[c] = std::thread(&OverlappedResampler::resampleChannel, this, c);
        writer_ = std::thread(&OverlappedResampler::writeBlocks, this);
    } catch (...) {
        abort();
        throw;
    }
}

OverlappedResampler::~OverlappedResampler() { abort(); }

void OverlappedResampler::push(const int32_t* frames, int64_t count)
{
    while (count > 0) {
        waitForSpace();
        // The block after the last one handed on is the pump's until it is handed on.
        Block& b = blocks_[filled_ % kBlocks];
        const size_t n = std::min(size_t(count), kBlockFrames - b.inFrames);
        if (channels_ == 1) {
            std::copy(frames, frames + n, b.in[0].data() + b.inFrames);
        } else {
            int32_t* left = b.in[0].data() + b.inFrames;
            int32_t* right = b.in[1].data() + b.inFrames;
            for (size_t i = 0; i < n; ++i) {
                left[i] = frames[2 * i];
                right[i] = frames[2 * i + 1];
            }
        }
        b.inFrames += n;
        frames += n * size_t(channels_);
        count -= int64_t(n);
        if (b.inFrames == kBlockFrames)
            submit();
        // The next block is claimed by the next call (or by finish()).
    }
}

// Waits until the block after the last one handed on is free (the writing thread is at most
// kBlocks behind); throws when a stage has failed or the run is stopping.
void OverlappedResampler::waitForSpace()
{
    std::unique_lock lock(mutex_);
    spaceFree_.wait(lock, [this] { return stopping_ || filled_ - written_ < kBlocks; });
    if (failure_)
        throw *failure_;
    if (stopping_)
        throw Failure(Failure::DeviceIOError, QStringLiteral("Resampler stopped"));
}

void OverlappedResampler::submit()
{
    {
        std::lock_guard lock(mutex_);
        ++filled_;
    }
    inputReady_.notify_all();
}

void OverlappedResampler::finish()
{
    std::unique_lock lock(mutex_);
    spaceFree_.wait(lock, [this] { return stopping_ || filled_ - written_ < kBlocks; });
    // The block being filled (perhaps empty) goes last and carries the flush.
    if (!stopping_) {
        blocks_[filled_ % kBlocks].last = true;
        ++filled_;
        lock.unlock();
        inputReady_.notify_all();
        lock.lock();
    }
    allWritten_.wait(lock, [this] { return ended_ || stopping_; });
    const std::optional<Failure> failure = failure_;
    stopping_ = true;
    lock.unlock();
    stopThreads();
    if (failure)
        throw *failure;
}

void OverlappedResampler::abort() noexcept
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopThreads();
}

void OverlappedResampler::stopThreads() noexcept
{
    spaceFree_.notify_all();
    inputReady_.notify_all();
    outputReady_.notify_all();
    allWritten_.notify_all();
    for (std::thread& t : channelThreads_)
        if (t.joinable())
            t.join();
    if (writer_.joinable())
        writer_.join();
    for (soxr*& r : resamplers_) {
        if (r)
            soxr_delete(r);
        r = nullptr;
    }
}

void OverlappedResampler::fail(const Failure& failure)
{
    {
        std::lock_guard lock(mutex_);
        if (!failure_)
            failure_ = failure;
        stopping_ = true;
    }
    spaceFree_.notify_all();
    inputReady_.notify_all();
    outputReady_.notify_all();
    allWritten_.notify_all();
}

void OverlappedResampler::resampleChannel(int channel)
{
    ThreadRoleScope role(ThreadRole::Worker);
    for (;;) {
        uint64_t n;
        {
            std::unique_lock lock(mutex_);
            inputReady_.wait(lock, [&] { return stopping_ || resampled_[channel] < filled_; });
            if (stopping_)
                return;
            n = resampled_[channel];
        }
        Block& b = blocks_[n % kBlocks];
        const bool last = b.last;
        try {
            resample(channel, b);
        } catch (const Failure& f) {
            fail(f);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            resampled_[channel] = n + 1;
        }
        outputReady_.notify_one();
        if (last)
            return;
    }
}

// One channel of a block through its filter; the last block also flushes the filter.
void OverlappedResampler::resample(int channel, Block& b)
{
    soxr* r = resamplers_[channel];
    const int32_t* in = b.in[channel].data();
    std::vector<int32_t>& out = b.out[channel];
    size_t consumed = 0, produced = 0;
    const auto step = [&](bool flush) {
        if (produced == out.size())
            out.resize(out.size() * 2); // only ever for a flush longer than a block's room
        size_t used = 0, done = 0;
        const size_t room = out.size() - produced;
        const soxr_error_t err = soxr_process(r, flush ? nullptr : in + consumed, flush ? 0 : b.inFrames - consumed,
                                              &used, out.data() + produced, room, &done);
        if (err)
            throw Failure(Failure::DeviceIOError, QStringLiteral("Resampler: ") + err);
        consumed += used;
        produced += done;
        return std::pair(done, room);
    };
    if (b.inFrames > 0) {
        for (;;) {
            const auto [done, room] = step(false);
            if (consumed >= b.inFrames && done < room)
                break;
        }
    }
    if (b.last) {
        while (step(true).first > 0) {
        }
    }
    b.outFrames[channel] = produced;
}

void OverlappedResampler::writeBlocks()
{
    ThreadRoleScope role(ThreadRole::Worker);
    for (;;) {
        uint64_t n;
        {
            std::unique_lock lock(mutex_);
            outputReady_.wait(lock, [this] {
                return stopping_ || (resampled_[0] > written_ && (channels_ == 1 || resampled_[1] > written_));
            });
            if (stopping_)
                return;
            n = written_;
        }
        Block& b = blocks_[n % kBlocks];
        const bool last = b.last;
        try {
            const size_t frames = b.outFrames[0];
            if (channels_ == 1) {
                if (frames)
                    next_.push(b.out[0].data(), int64_t(frames));
            } else {
                // Both filters are alike and saw the same frames: they give the same count.
                if (b.outFrames[1] != frames)
                    throw Failure(Failure::DeviceIOError, QStringLiteral("Resampler channels out of step"));
                if (interleaved_.size() < 2 * frames)
                    interleaved_.resize(2 * frames);
                const int32_t* left = b.out[0].data();
                const int32_t* right = b.out[1].data();
                for (size_t i = 0; i < frames; ++i) {
                    interleaved_[2 * i] = left[i];
                    interleaved_[2 * i + 1] = right[i];
                }
                if (frames)
                    next_.push(interleaved_.data(), int64_t(frames));
            }
        } catch (const Failure& f) {
            fail(f);
            return;
        } catch (const std::exception& e) {
            fail(Failure(Failure::DeviceIOError, QString::fromLocal8Bit(e.what())));
            return;
        }
        {
            std::lock_guard lock(mutex_);
            b.inFrames = 0;
            b.last = false;
            written_ = n + 1;
            ended_ = last;
        }
        spaceFree_.notify_one();
        if (last) {
            allWritten_.notify_all();
            return;
        }
    }
}

} // namespace tamblor::audio
