#include "platform/NativeFile.h"
#include "platform/Failure.h"
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tamblor {

namespace {

constexpr size_t kCopyBuffer = 4 << 20; // the buffer when the kernel cannot copy by itself

// Copies bytes [done, n) of a range through a buffer, for when the kernel cannot copy by itself.
// Returns the bytes copied in all, fewer when the source ends first.
int64_t copyThroughBuffer(NativeFile& source, int64_t sourceOffset, NativeFile& target, int64_t offset,
                          int64_t n, int64_t done)
{
    if (done >= n)
        return done;
    std::vector<char> buffer(std::min<size_t>(kCopyBuffer, size_t(n - done)));
    while (done < n) {
        const size_t got = source.readAt(sourceOffset + done, buffer.data(),
                                         size_t(std::min<int64_t>(int64_t(buffer.size()), n - done)));
        if (got == 0)
            break;
        target.writeAt(offset + done, buffer.data(), got);
        done += int64_t(got);
    }
    return done;
}

#ifdef _WIN32
Failure lastFailure()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND: return Failure(Failure::FileNotFound);
    case ERROR_PATH_NOT_FOUND: return Failure(Failure::PathNotFound);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return Failure(Failure::FileAlreadyExists);
    case ERROR_ACCESS_DENIED: return Failure(Failure::PermissionDenied);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Failure(Failure::PathFileAccessError);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Failure(Failure::DiskFull);
    case ERROR_NOT_READY: return Failure(Failure::DiskNotReady);
    default: return Failure(Failure::DeviceIOError);
    }
}
std::wstring wide(const QString& path) { return path.toStdWString(); }
#else
[[noreturn]] void fail(int err) { throw Failure::fromErrno(err ? err : EIO); }
#endif

} // namespace

NativeFile::~NativeFile() { closeQuietly(); }

#ifdef _WIN32

NativeFile::NativeFile(NativeFile&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept
{
    if (this != &other) {
        closeQuietly();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

NativeFile NativeFile::open(const QString& path, Mode mode)
{
    const DWORD access = mode == Mode::Read ? GENERIC_READ
                         : mode == Mode::Update ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    const DWORD create = mode == Mode::CreateNew ? CREATE_NEW : mode == Mode::Replace ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE h = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, create,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw lastFailure();
    NativeFile f;
    f.handle_ = h;
    return f;
}

bool NativeFile::isOpen() const { return handle_ != nullptr; }

int64_t NativeFile::size() const
{
    LARGE_INTEGER s;
    if (!GetFileSizeEx(handle_, &s))
        throw lastFailure();
    return s.QuadPart;
}

size_t NativeFile::readAt(int64_t offset, void* buffer, size_t n)
{
    size_t done = 0;
    while (done < n) {
        OVERLAPPED at{};
        at.Offset = DWORD(uint64_t(offset + done));
        at.OffsetHigh = DWORD(uint64_t(offset + done) >> 32);
        DWORD got = 0;
        const DWORD want = DWORD(std::min<size_t>(n - done, 1u << 30));
        if (!ReadFile(handle_, static_cast<char*>(buffer) + done, want, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            throw lastFailure();
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

void NativeFile::writeAt(int64_t offset, const void* data, size_t n)
{
    size_t done = 0;
    while (done < n) {
        OVERLAPPED at{};
        at.Offset = DWORD(uint64_t(offset + done));
        at.OffsetHigh = DWORD(uint64_t(offset + done) >> 32);
        DWORD put = 0;
        const DWORD want = DWORD(std::min<size_t>(n - done, 1u << 30));
        if (!WriteFile(handle_, static_cast<const char*>(data) + done, want, &put, &at))
            throw lastFailure();
        if (put == 0)
            throw Failure(Failure::DiskFull);
        done += put;
    }
}

int64_t NativeFile::copyFrom(NativeFile& source, int64_t sourceOffset, int64_t offset, int64_t n)
{
    return copyThroughBuffer(source, sourceOffset, *this, offset, n, 0);
}

void NativeFile::adviseSequential() {} // FILE_FLAG_SEQUENTIAL_SCAN at open says it
void NativeFile::startWriteback(int64_t, int64_t) {}

void NativeFile::sync()
{
    if (!FlushFileBuffers(handle_))
        throw lastFailure();
}

void NativeFile::close()
{
    if (!handle_)
        return;
    HANDLE h = handle_;
    handle_ = nullptr;
    if (!CloseHandle(h))
        throw lastFailure();
}

void NativeFile::closeQuietly() noexcept
{
    if (handle_)
        CloseHandle(handle_);
    handle_ = nullptr;
}

bool sameFile(const QString& a, const QString& b)
{
    const auto id = [](const QString& path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return id(a, x) && id(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber
           && x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

int64_t currentSize(int handle)
{
    struct _stat64 st;
    return _fstat64(handle, &st) == 0 ? int64_t(st.st_size) : -1;
}

bool removeFile(const QString& path) noexcept
{
    return DeleteFileW(wide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

#else // POSIX

NativeFile::NativeFile(NativeFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept
{
    if (this != &other) {
        closeQuietly();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

NativeFile NativeFile::open(const QString& path, Mode mode)
{
    const QByteArray native = QFile::encodeName(path);
    const int flags = mode == Mode::Read        ? O_RDONLY
                      : mode == Mode::CreateNew ? O_WRONLY | O_CREAT | O_EXCL
                      : mode == Mode::Replace   ? O_WRONLY | O_CREAT | O_TRUNC
                                                : O_RDWR;
    int fd;
    do
        fd = ::open(native.constData(), flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        // A missing folder on the way is the classic "Path not found", not "File not found".
        if (err == ENOENT && ::access(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), F_OK) != 0)
            throw Failure(Failure::PathNotFound);
        fail(err);
    }
    NativeFile f;
    f.fd_ = fd;
    return f;
}

bool NativeFile::isOpen() const { return fd_ >= 0; }

int64_t NativeFile::size() const
{
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        fail(errno);
    return int64_t(st.st_size);
}

size_t NativeFile::readAt(int64_t offset, void* buffer, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, static_cast<char*>(buffer) + done, n - done, off_t(offset + int64_t(done)));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (r == 0)
            break;
        done += size_t(r);
    }
    return done;
}

void NativeFile::writeAt(int64_t offset, const void* data, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(fd_, static_cast<const char*>(data) + done, n - done, off_t(offset + int64_t(done)));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (w == 0)
            fail(ENOSPC);
        done += size_t(w);
    }
}

int64_t NativeFile::copyFrom(NativeFile& source, int64_t sourceOffset, int64_t offset, int64_t n)
{
    int64_t done = 0;
#ifdef __linux__
    // The kernel moves the pages itself (or shares the blocks), without a trip through memory here.
    while (done < n) {
        loff_t from = sourceOffset + done, to = offset + done;
        const ssize_t c = ::copy_file_range(source.fd_, &from, fd_, &to, size_t(n - done), 0);
        if (c > 0) {
            done += c;
            continue;
        }
        if (c == 0)
            return done; // the source ended
        if (errno == EINTR)
            continue;
        if (errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP)
            fail(errno);
        break; // this pair of file systems cannot: copy through a buffer
    }
#endif
    return copyThroughBuffer(source, sourceOffset, *this, offset, n, done);
}

void NativeFile::adviseSequential()
{
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

void NativeFile::startWriteback(int64_t offset, int64_t n)
{
#ifdef __linux__
    if (n > 0)
        ::sync_file_range(fd_, off_t(offset), off_t(n), SYNC_FILE_RANGE_WRITE);
#else
    (void)offset, (void)n;
#endif
}

void NativeFile::sync()
{
    while (::fsync(fd_) != 0) {
        if (errno != EINTR)
            fail(errno);
    }
}

void NativeFile::close()
{
    if (fd_ < 0)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail(errno);
}

void NativeFile::closeQuietly() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat x, y;
    return ::stat(QFile::encodeName(a).constData(), &x) == 0 && ::stat(QFile::encodeName(b).constData(), &y) == 0
           && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

int64_t currentSize(int handle)
{
    struct stat st;
    return ::fstat(handle, &st) == 0 ? int64_t(st.st_size) : -1;
}

bool removeFile(const QString& path) noexcept
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

#endif

} // namespace tamblor
