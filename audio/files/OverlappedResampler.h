#pragma once
// Changes the rate of interleaved 32-bit frames with the work spread over threads: the caller
// (the pump, which reads and decodes) only sorts the frames into blocks by channel, one thread
// per channel resamples its channel of each block (libsoxr), and one more thread interleaves
// the results and hands them to the next link (which encodes and writes). The stages overlap;
// a small ring of blocks, allocated once, lies between them, so a stage that runs ahead waits
// for the one behind and nothing is allocated per block.
// The frames that come out are the same as from one libsoxr resampler of all channels fed on
// one thread: each channel is filtered on its own in either case.
#include "audio/files/ChainLink.h"
#include "platform/Failure.h"
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct soxr;

namespace tamblor::audio {

class OverlappedResampler {
public:
    // Starts the threads; the frames resampled go to `next`, whose begin() has been called.
    // Throws Failure when libsoxr refuses the rates.
    OverlappedResampler(int inRate, int outRate, int channels, ChainLink& next);
    // Stops the threads as abort() does, unless finish() has.
    ~OverlappedResampler();
    OverlappedResampler(const OverlappedResampler&) = delete;
    OverlappedResampler& operator=(const OverlappedResampler&) = delete;

    // Takes count interleaved frames; waits while every block is still in use. Throws the
    // failure that ended a later stage (a full disk while writing, ...).
    void push(const int32_t* frames, int64_t count);
    // Sends the last frames and what the filters still hold through, and waits until the next
    // link has them all. Throws the failure that ended a stage. next.finish() is the caller's.
    void finish();
    // Drops what is on the way and stops the threads (within one block's work). Never throws.
    void abort() noexcept;

    // Input frames per block.
    static constexpr size_t kBlockFrames = 65536;

private:
    struct Block {
        std::vector<int32_t> in[2];  // one channel each
        std::vector<int32_t> out[2];
        size_t inFrames = 0;
        size_t outFrames[2] = {0, 0};
        bool last = false; // the filters are flushed after this block's frames
    };

    void waitForSpace();
    void submit();
    void resampleChannel(int channel);
    void writeBlocks();
    void resample(int channel, Block& block);
    void fail(const Failure& failure);
    void stopThreads() noexcept;

    static constexpr size_t kBlocks = 4;

    ChainLink& next_;
    const int channels_;
    soxr* resamplers_[2] = {nullptr, nullptr};
    Block blocks_[kBlocks];
    std::vector<int32_t> interleaved_;

    std::mutex mutex_;
    std::condition_variable spaceFree_;   // the pump waits for a free block
    std::condition_variable inputReady_;  // the channel threads wait for a filled block
    std::condition_variable outputReady_; // the writing thread waits for a resampled block
    std::condition_variable allWritten_;  // finish() waits for the last block to be written
    // Counts of blocks, ever growing; block n lives in blocks_[n % kBlocks].
    uint64_t filled_ = 0;
    uint64_t resampled_[2] = {0, 0};
    uint64_t written_ = 0;
    bool stopping_ = false;
    bool ended_ = false; // the last block is written
    std::optional<Failure> failure_;

    std::thread channelThreads_[2];
    std::thread writer_;
};

} // namespace tamblor::audio
