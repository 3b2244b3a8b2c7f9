#pragma once
// Changes the rate of a stream of stereo 16-bit frames (libsoxr, high quality), for a device
// that cannot play a file at the file's own rate. Runs on the player's reader thread.
#include <cstddef>
#include <cstdint>
#include <vector>

struct soxr;

namespace tamblor::audio {

class PlaybackResampler {
public:
    // Throws Failure (7 Out of memory, 5 for rates libsoxr refuses).
    PlaybackResampler(int fromRate, int toRate);
    ~PlaybackResampler();
    PlaybackResampler(const PlaybackResampler&) = delete;
    PlaybackResampler& operator=(const PlaybackResampler&) = delete;

    int fromRate() const { return from_; }
    int toRate() const { return to_; }
    // Converts `frames` frames and appends what comes out to `out`; with `last`, the rest the
    // converter holds follows, and the stream is over until clear().
    void process(const int16_t* stereo, size_t frames, bool last, std::vector<int16_t>& out);
    // Forgets the stream so far (a seek).
    void clear();

private:
    soxr* soxr_ = nullptr;
    int from_;
    int to_;
    std::vector<int16_t> block_;
};

} // namespace tamblor::audio
