#pragma once
// Decodes a file's frames a few steps ahead of the chain that converts and writes them, on a
// thread of its own, so that reading the source and converting it share the machine's cores.
#include "audio/files/AudioFileReader.h"
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tamblor::audio {

class ReadAhead {
public:
    // Starts reading at the reader's position, `framesPerStep` frames of `channels` samples a
    // step. The reader is this object's alone until it is destroyed.
    ReadAhead(AudioFileReader& reader, int64_t framesPerStep, int channels);
    // Stops reading and waits for the thread.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next step's frames, valid until the next call; 0 at the end of the file. Throws what
    // the reader threw, in its turn.
    int64_t next(const int32_t*& frames);

private:
    static constexpr int kSteps = 4; // decoded steps waiting at most

    void run();

    AudioFileReader& reader_;
    const int64_t framesPerStep_;
    std::vector<std::vector<int32_t>> steps_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> free_;                          // steps the reader may fill
    std::deque<std::pair<int, int64_t>> filled_;    // steps decoded, with their frame counts
    int inUse_ = -1;                                // the step last handed out
    bool ended_ = false;                            // the reader is through (or failed)
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace tamblor::audio
