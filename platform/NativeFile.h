#pragma once
// One open file of the operating system, for the code that moves large amounts of sound data:
// positioned reads and writes, a copy made by the kernel where it can, hints about the access
// pattern and a flush to the disk. Every call of the system's file API lives here (and in
// SafeReplace), so the rest of the program is the same on every platform.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace tamblor {

class NativeFile {
public:
    enum class Mode {
        Read,      // an existing file, read only
        CreateNew, // a new file, write only; fails (58) when the name exists
        Update,    // an existing file, read and write
        Replace,   // a file made empty (created when missing), write only
    };

    NativeFile() = default;
    ~NativeFile();
    NativeFile(NativeFile&& other) noexcept;
    NativeFile& operator=(NativeFile&& other) noexcept;
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // Throws Failure (53 File not found, 70 Permission denied, 58 File already exists, ...).
    static NativeFile open(const QString& path, Mode mode);

    bool isOpen() const;
    int64_t size() const;
    // Reads up to n bytes at offset; fewer only at the end of the file.
    size_t readAt(int64_t offset, void* buffer, size_t n);
    // Writes all n bytes at offset. Throws Failure (61 Disk full, ...).
    void writeAt(int64_t offset, const void* data, size_t n);
    // Copies up to n bytes of `source` from sourceOffset to this file at offset; returns the bytes
    // copied, fewer only when the source ended. The kernel copies where it can, else a buffer.
    int64_t copyFrom(NativeFile& source, int64_t sourceOffset, int64_t offset, int64_t n);
    // The file will be read (or written) once from start to end: read ahead, drop behind.
    void adviseSequential();
    // Starts writing what has been written so far (from `offset`, n bytes) to the disk without
    // waiting, so a later sync finds little left to do. A hint: does nothing where unsupported.
    void startWriteback(int64_t offset, int64_t n);
    // Waits until everything written is on the disk. Throws Failure.
    void sync();
    // Closes the file; a failure of the last write shows here. Throws Failure.
    void close();

private:
    void closeQuietly() noexcept;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// The same file under two names (a link, or a second spelling on a file system that ignores
// case)? False when either does not exist.
bool sameFile(const QString& a, const QString& b);
// The size the file open as `handle` (a QFile's handle()) has now; -1 when it cannot be told.
int64_t currentSize(int handle);
// Removes a file; true when it is gone (or was not there).
bool removeFile(const QString& path) noexcept;

} // namespace tamblor
