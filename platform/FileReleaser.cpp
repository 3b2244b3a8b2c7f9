#include "platform/FileReleaser.h"
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tamblor {

namespace {

class FileReleaser {
public:
    ~FileReleaser()
    {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    void release(NativeFile file)
    {
        std::lock_guard lock(mutex_);
        if (ending_)
            return; // the program is ending: `file` closes here
        queue_.push_back(std::move(file));
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        wake_.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
            if (queue_.empty())
                return; // ending, and everything handed over is closed
            NativeFile file = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            file = NativeFile(); // the slow part, outside the lock
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<NativeFile> queue_;
    bool ending_ = false;
    std::thread thread_;
};

FileReleaser& releaser()
{
    static FileReleaser instance;
    return instance;
}

} // namespace

void closeInBackground(NativeFile file)
{
    if (file.isOpen())
        releaser().release(std::move(file));
}

} // namespace tamblor
