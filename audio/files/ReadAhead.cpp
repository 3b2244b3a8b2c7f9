#include "audio/files/ReadAhead.h"
#include "audio/core/ThreadRole.h"

namespace tamblor::audio {

ReadAhead::ReadAhead(AudioFileReader& reader, int64_t framesPerStep, int channels)
    : reader_(reader), framesPerStep_(framesPerStep)
{
    steps_.resize(kSteps);
    for (int i = 0; i < kSteps; ++i) {
        steps_[size_t(i)].resize(size_t(framesPerStep) * size_t(channels));
        free_.push_back(i);
    }
    thread_ = std::thread(&ReadAhead::run, this);
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

int64_t ReadAhead::next(const int32_t*& frames)
{
    std::unique_lock lock(mutex_);
    if (inUse_ >= 0) {
        free_.push_back(inUse_);
        inUse_ = -1;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !filled_.empty() || ended_; });
    if (filled_.empty()) {
        if (failure_)
            std::rethrow_exception(failure_);
        return 0;
    }
    const auto [step, count] = filled_.front();
    filled_.pop_front();
    inUse_ = step;
    frames = steps_[size_t(step)].data();
    return count;
}

void ReadAhead::run()
{
    ThreadRoleScope role(ThreadRole::Worker);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
        if (stopping_)
            return;
        const int step = free_.front();
        free_.pop_front();
        lock.unlock();
        int64_t got = 0;
        std::exception_ptr failure;
        try {
            got = reader_.readFrames(steps_[size_t(step)].data(), framesPerStep_);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure || got <= 0) {
            failure_ = failure;
            ended_ = true;
            changed_.notify_all();
            return;
        }
        filled_.emplace_back(step, got);
        changed_.notify_all();
    }
}

} // namespace tamblor::audio
