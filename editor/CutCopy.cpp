#include "editor/CutCopy.h"
#include "platform/Failure.h"
#include <QFile>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tamblor::editor {

namespace {

constexpr int64_t kPiece = 16 << 20;  // bytes between two progress calls
constexpr int64_t kBuffer = 1 << 20;  // the buffer when the kernel cannot copy by itself

[[noreturn]] void fail() { throw Failure::fromErrno(errno ? errno : EIO); }

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Writes all n bytes: at the file's current offset when `at` is negative, else at `at`.
void writeFully(int fd, const void* data, int64_t n, int64_t at)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = at < 0 ? ::write(fd, p, size_t(n)) : ::pwrite(fd, p, size_t(n), off_t(at));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            fail();
        }
        if (w == 0) {
            errno = ENOSPC;
            fail();
        }
        p += w;
        n -= w;
        if (at >= 0)
            at += w;
    }
}

void writeAll(int fd, const void* data, int64_t n) { writeFully(fd, data, n, -1); }
void pwriteAll(int fd, const void* data, int64_t n, int64_t at) { writeFully(fd, data, n, at); }

// Copies up to n bytes from `in` at `at` to the end of `out`; returns the bytes copied,
// fewer only when the source ended.
int64_t copyRange(int in, int64_t at, int out, int64_t n, bool& kernelCopy, std::vector<uint8_t>& buffer)
{
    int64_t done = 0;
    while (done < n) {
#ifdef __linux__
        if (kernelCopy) {
            loff_t from = at + done;
            const ssize_t c = ::copy_file_range(in, &from, out, nullptr, size_t(n - done), 0);
            if (c > 0) {
                done += c;
                continue;
            }
            if (c == 0)
                return done; // the source ended
            if (errno == EINTR)
                continue;
            if (errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP)
                fail();
            kernelCopy = false; // this file system pair cannot: copy through the buffer
        }
#endif
        if (buffer.empty())
            buffer.resize(size_t(kBuffer));
        const ssize_t r = ::pread(in, buffer.data(), size_t(std::min<int64_t>(kBuffer, n - done)), off_t(at + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            fail();
        }
        if (r == 0)
            return done;
        writeAll(out, buffer.data(), r);
        done += r;
    }
    return done;
}

// Hands what has been written of a file to the kernel's writeback, on a thread of its own, so
// the data starts for the disk while the copy goes on, and the rename that replaces the
// original (which flushes whatever is still pending) stays quick.
class WriteBehind {
public:
    explicit WriteBehind(int fd) : fd_(fd), thread_([this] { run(); }) {}
    ~WriteBehind()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void writtenUpTo(int64_t end)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            upTo_ = end;
        }
        wake_.notify_one();
    }

private:
    void run()
    {
        int64_t done = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || upTo_ > done; });
            if (quit_)
                return;
            const int64_t end = upTo_;
            lock.unlock();
#ifdef __linux__
            ::sync_file_range(fd_, done, end - done, SYNC_FILE_RANGE_WRITE);
#endif
            done = end;
            lock.lock();
        }
    }

    const int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int64_t upTo_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace

bool writeCutCopy(const CutSource& source, const CutRange& cut, const QString& copyPath,
                  const CutProgress& progress)
{
    const QByteArray src = QFile::encodeName(source.path);
    const QByteArray dst = QFile::encodeName(copyPath);
    errno = 0;
    const int in = ::open(src.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        fail();
    // O_EXCL: a file that took the name meanwhile is never overwritten.
    const int out = ::open(dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        errno = e;
        fail();
    }
    bool finished = false;
    std::optional<WriteBehind> writeBehind;
    const auto closeBoth = [&] {
        writeBehind.reset(); // before the descriptor it works on goes
        ::close(in);
        return ::close(out);
    };
    try {
        // The header: every byte before the sample data, as the original has it.
        std::vector<uint8_t> header(size_t(source.dataOffset));
        int64_t got = 0;
        while (got < source.dataOffset) {
            const ssize_t r = ::pread(in, header.data() + got, size_t(source.dataOffset - got), off_t(got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0) {
                if (r == 0)
                    errno = EIO;
                fail();
            }
            got += r;
        }
        if (source.dataOffset < 12) {
            errno = EINVAL;
            fail();
        }
        writeAll(out, header.data(), source.dataOffset);
        writeBehind.emplace(out);

        // The kept sample data: before the cut and after it.
        bool kernelCopy = true;
        std::vector<uint8_t> buffer;
        int64_t written = 0;
        bool ended = false;
        const std::pair<int64_t, int64_t> kept[] = {{0, cut.removed() > 0 ? cut.from : source.dataSize},
                                                    {cut.removed() > 0 ? cut.to : source.dataSize, source.dataSize}};
        for (const auto& [from, to] : kept) {
            for (int64_t pos = from; pos < to && !ended;) {
                const int64_t want = std::min(kPiece, to - pos);
                const int64_t n = copyRange(in, source.dataOffset + pos, out, want, kernelCopy, buffer);
                written += n;
                writeBehind->writtenUpTo(source.dataOffset + written);
                pos += n;
                ended = n < want;
                if (progress && !progress(ended ? source.dataSize : pos)) {
                    closeBoth();
                    ::unlink(dst.constData());
                    return false;
                }
            }
        }

        // The sizes of what was really written; a pad byte keeps an odd data chunk aligned.
        if (written % 2) {
            const uint8_t pad = 0;
            writeAll(out, &pad, 1);
        }
        uint8_t size[4];
        put32(size, uint32_t(source.dataOffset + written + (written % 2) - 8));
        pwriteAll(out, size, 4, 4);
        put32(size, uint32_t(written));
        pwriteAll(out, size, 4, source.dataOffset - 4);
        finished = true;
    } catch (...) {
        closeBoth();
        ::unlink(dst.constData());
        throw;
    }
    if (closeBoth() != 0 && finished) {
        const int e = errno;
        ::unlink(dst.constData());
        errno = e;
        fail();
    }
    return true;
}

} // namespace tamblor::editor
