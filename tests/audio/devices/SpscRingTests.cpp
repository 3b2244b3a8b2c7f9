// The lock-free ring between a device callback and its worker, with a real producer thread and
// a real consumer thread: every item arrives once, in order, whatever the chunk sizes.
#include "audio/devices/SpscRing.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

using tamblor::audio::SpscRing;

namespace {

constexpr uint32_t itemCount = 2'000'000;

// Chunk sizes that vary with the position, so that writes and reads wrap the ring at every
// offset and meet each other half-way.
size_t chunkAt(uint32_t position, size_t salt) { return 1 + (position * 2654435761u + salt) % 700; }

} // namespace

TEST(SpscRingThreads, EveryItemArrivesOnceAndInOrder)
{
    SpscRing<uint32_t> ring(1024);
    std::thread producer([&] {
        std::vector<uint32_t> chunk;
        uint32_t next = 0;
        while (next < itemCount) {
            chunk.clear();
            const size_t n = std::min<size_t>(chunkAt(next, 17), itemCount - next);
            for (size_t i = 0; i < n; ++i)
                chunk.push_back(next + uint32_t(i));
            size_t done = 0;
            while (done < n) {
                done += ring.write(chunk.data() + done, n - done);
                if (done < n)
                    std::this_thread::yield();
            }
            next += uint32_t(n);
        }
    });

    uint32_t expected = 0;
    uint32_t misordered = 0;
    std::vector<uint32_t> chunk(1024);
    while (expected < itemCount) {
        const size_t got = ring.read(chunk.data(), chunkAt(expected, 5));
        for (size_t i = 0; i < got; ++i)
            misordered += chunk[i] != expected++;
        if (got == 0)
            std::this_thread::yield();
    }
    producer.join();

    EXPECT_EQ(misordered, 0u);
    EXPECT_EQ(ring.written(), itemCount);
    EXPECT_EQ(ring.consumed(), itemCount);
    EXPECT_EQ(ring.available(), 0u);
}

TEST(SpscRingThreads, DiscardingWhileTheProducerWritesLosesOnlyWhatWasThere)
{
    // The consumer may drop everything written so far (a capture restarting); what the producer
    // writes afterwards still arrives in order.
    SpscRing<uint32_t> ring(256);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        uint32_t next = 0;
        while (!stop.load()) {
            if (ring.write(&next, 1) == 1)
                ++next;
            else
                std::this_thread::yield();
        }
    });
    uint32_t last = 0;
    bool first = true;
    uint32_t backwards = 0;
    for (int round = 0; round < 20000; ++round) {
        if (round % 97 == 0)
            ring.discardAll();
        uint32_t value;
        if (ring.read(&value, 1) == 1) {
            backwards += !first && value <= last;
            last = value;
            first = false;
        }
    }
    stop = true;
    producer.join();
    EXPECT_EQ(backwards, 0u);
    EXPECT_LE(ring.available(), ring.capacity());
}
