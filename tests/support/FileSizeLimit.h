#pragma once
// A full disk, as the file system tells it: while the object lives no file of this process may
// grow past `bytes` (a write past it fails with EFBIG instead of raising SIGXFSZ).
#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
        : oldHandler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*oldHandler_)(int);
    rlimit saved_{};
};
