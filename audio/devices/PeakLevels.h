#pragma once
// Latest peak levels of a stream, written by one thread and read by any (the meters' timer).
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace tamblor::audio {

struct PeakLevels {
    int left = 0;  // 0..32767
    int right = 0; // 0..32767
};

class PeakLevelCell {
public:
    void store(int left, int right)
    {
        packed_.store((uint32_t(left) << 16) | uint32_t(right), std::memory_order_relaxed);
    }
    PeakLevels load() const
    {
        const uint32_t v = packed_.load(std::memory_order_relaxed);
        return {int(v >> 16), int(v & 0xffff)};
    }
    void clear() { packed_.store(0, std::memory_order_relaxed); }

    // Peaks of interleaved stereo frames (safe on the audio thread).
    void measureStereo(const int16_t* samples, size_t frames)
    {
        int l = 0, r = 0;
        for (size_t i = 0; i < frames; ++i) {
            l = std::max(l, std::abs(int(samples[2 * i])));
            r = std::max(r, std::abs(int(samples[2 * i + 1])));
        }
        store(std::min(l, 32767), std::min(r, 32767));
    }

private:
    std::atomic<uint32_t> packed_{0};
};

} // namespace tamblor::audio
