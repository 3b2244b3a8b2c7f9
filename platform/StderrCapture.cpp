#include "platform/StderrCapture.h"
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tamblor {

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    FILE* tmp = std::tmpfile();
    if (!tmp)
        return;
    file_ = ::dup(::fileno(tmp));
    std::fclose(tmp); // the duplicate keeps the unnamed file
    saved_ = file_ >= 0 ? ::dup(STDERR_FILENO) : -1;
    if (saved_ < 0 || ::dup2(file_, STDERR_FILENO) < 0) {
        if (saved_ >= 0)
            ::close(saved_);
        if (file_ >= 0)
            ::close(file_);
        saved_ = file_ = -1;
    }
}

StderrCapture::~StderrCapture() { release(); }

QByteArray StderrCapture::release()
{
    if (saved_ < 0)
        return {};
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    QByteArray text;
    if (::lseek(file_, 0, SEEK_SET) == 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(file_, buffer, sizeof buffer)) > 0)
            text.append(buffer, n);
    }
    ::close(file_);
    file_ = -1;
    return text;
}

} // namespace tamblor
