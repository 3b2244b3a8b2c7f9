#pragma once
// A copy of what a stream carries, for a reader on another thread (the live loudness meter and
// the silence alarm): the producer (the input's worker, the player's device callback) only
// copies whole frames into a lock-free ring while a reader has the tap open; the reader takes
// them when it likes. Nothing waits, nothing allocates after construction; frames that do not
// fit while the reader is late are counted and dropped, never the stream's own.
#include "audio/devices/SpscRing.h"
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cstdint>

namespace tamblor::audio {

class SampleTap {
public:
    // About twelve seconds of 44100 stereo: a reader held up that long loses nothing.
    static constexpr size_t DefaultSamples = size_t(1) << 20;

    explicit SampleTap(size_t samples = DefaultSamples) : ring_(samples) {}

    // The owner of the stream, before the producer starts: the format of the frames that
    // follow. Each call counts as a new stream (see generation()).
    void setFormat(int sampleRate, int channels)
    {
        rate_.store(sampleRate);
        channels_.store(channels);
        generation_.fetch_add(1);
    }
    int sampleRate() const { return rate_.load(); }
    int channels() const { return channels_.load(); }
    // Changes with every setFormat, so a reader sees that a new stream began.
    quint64 generation() const { return generation_.load(); }

    // Producer: copies the frames when the tap is open and they fit whole.
    void put(const int16_t* samples, size_t frames, int channels)
    {
        if (!open_.load(std::memory_order_acquire) || frames == 0)
            return;
        const size_t fit = std::min(frames, ring_.space() / size_t(channels));
        ring_.write(samples, fit * size_t(channels));
        if (fit < frames)
            lost_.fetch_add(frames - fit, std::memory_order_relaxed);
    }

    // Reader: drops what the tap holds and takes frames from now on.
    void open()
    {
        ring_.discardAll();
        open_.store(true, std::memory_order_release);
    }
    void close() { open_.store(false, std::memory_order_release); }
    bool isOpen() const { return open_.load(std::memory_order_acquire); }
    // Reader: up to `maxFrames` whole frames of channels() channels.
    size_t take(int16_t* out, size_t maxFrames)
    {
        return takeFrames(out, maxFrames, SIZE_MAX, SIZE_MAX).frames;
    }
    // Samples put so far (any thread). A reader that notes it at some moment can later take
    // just what had been put by then, however late it comes to take it.
    size_t position() const { return ring_.written(); }
    // Reader: up to `maxFrames` whole frames, no more than `capacity` samples, of the samples
    // put before `position`; counted in channels() as it was read once here (the owner may set
    // another format meanwhile: the frames are those of the channels returned).
    struct Taken {
        size_t frames;
        int channels;
    };
    Taken takeFrames(int16_t* out, size_t maxFrames, size_t capacity, size_t position = SIZE_MAX)
    {
        const size_t channels = size_t(std::max(channels_.load(), 1));
        const size_t taken = ring_.consumed();
        const size_t before = position > taken ? position - taken : 0;
        const size_t frames = std::min({maxFrames, capacity / channels, ring_.available() / channels, before / channels});
        return {ring_.read(out, frames * channels) / channels, int(channels)};
    }
    // Frames the reader was too late for, since the tap was made.
    quint64 lostFrames() const { return lost_.load(std::memory_order_relaxed); }

private:
    SpscRing<int16_t> ring_;
    std::atomic<bool> open_{false};
    std::atomic<int> rate_{44100};
    std::atomic<int> channels_{2};
    std::atomic<quint64> generation_{0};
    std::atomic<quint64> lost_{0};
};

} // namespace tamblor::audio
