#pragma once
// Lock-free ring for one producer thread and one consumer thread (the device callback and the
// worker that services it). No allocation after construction.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

namespace tamblor::audio {

template <typename T>
class SpscRing {
public:
    // Capacity is rounded up to a power of two.
    explicit SpscRing(size_t capacity)
    {
        size_t c = 1;
        while (c < capacity)
            c <<= 1;
        buffer_.resize(c);
        mask_ = c - 1;
    }

    size_t capacity() const { return buffer_.size(); }
    size_t available() const
    {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
    }
    size_t space() const { return capacity() - available(); }

    // Producer: copies as much as fits; returns the count copied.
    size_t write(const T* data, size_t count)
    {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t tail = tail_.load(std::memory_order_acquire);
        const size_t n = std::min(count, capacity() - (head - tail));
        for (size_t i = 0; i < n; ++i)
            buffer_[(head + i) & mask_] = data[i];
        head_.store(head + n, std::memory_order_release);
        return n;
    }

    // Consumer: copies up to count items out; returns the count copied.
    size_t read(T* data, size_t count)
    {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t head = head_.load(std::memory_order_acquire);
        const size_t n = std::min(count, head - tail);
        for (size_t i = 0; i < n; ++i)
            data[i] = buffer_[(tail + i) & mask_];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    // Items ever written and ever consumed (any thread).
    size_t written() const { return head_.load(std::memory_order_acquire); }
    size_t consumed() const { return tail_.load(std::memory_order_acquire); }

    // Consumer: drops everything written so far.
    void discardAll() { tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release); }

private:
    std::vector<T> buffer_;
    size_t mask_ = 0;
    std::atomic<size_t> head_{0};
    std::atomic<size_t> tail_{0};
};

} // namespace tamblor::audio
