#pragma once
// A whole file mapped read-only into memory, for drawing the waveform. Scans that go through
// much of the file read it into a buffer instead: fresh mapped pages cost a page-table walk each
// (and a nested one in a virtual machine), which made touching them several times slower than
// the kernel's copy.
#include "platform/NativeFile.h"
#include <QFile>
#include <QString>
#include <cstdint>

namespace tamblor::audio {

class MemMapFile {
public:
    MemMapFile() = default;
    ~MemMapFile() { close(); }
    MemMapFile(const MemMapFile&) = delete;
    MemMapFile& operator=(const MemMapFile&) = delete;

    // Names the file and maps it; the empty name releases the mapping. Throws Failure.
    void setFileName(const QString& path);
    QString fileName() const { return path_; }
    // Active maps the named file (again); inactive releases the mapping but keeps the name.
    void setActive(bool active);
    bool isActive() const { return mapped_; }
    // First byte of the mapped file (header included); nullptr while not active.
    const uint8_t* address() const { return address_; }
    int64_t size() const { return size_; }
    // Bytes from the start of the mapping that can be read now: a file shortened on disk since
    // it was mapped has lost the pages past its new end, and reading them would fault.
    int64_t readableSize() const;
    // Copies up to `bytes` from `offset` of the mapped file into `buffer`, never past what is
    // readable now; returns the bytes copied (0 while not active). Throws Failure.
    int64_t read(int64_t offset, void* buffer, int64_t bytes);
    // Ends the mapping and forgets the name, so the file can be deleted or replaced.
    void close();

private:
    void map();
    void unmap();

    QString path_;
    QFile file_;
    NativeFile reader_;
    const uint8_t* address_ = nullptr;
    int64_t size_ = 0;
    bool mapped_ = false;
};

} // namespace tamblor::audio
