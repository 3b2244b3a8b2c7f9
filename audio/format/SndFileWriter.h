#pragma once
// A sound file that libsndfile encodes into, written through one large buffer: libsndfile on
// its own writes a few kilobytes per system call. For files made in one go (a conversion, a
// send); a recording, whose every block must reach the file at once, opens its writer with
// openSndWriter instead.
#include "audio/core/WaveFormat.h"
#include "platform/Failure.h"
#include "platform/NativeFile.h"
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct sf_private_tag;

namespace tamblor::audio {

class SndFileWriter {
public:
    // Creates (or empties) the file, a native path, for a WAV of that format. Throws Failure.
    SndFileWriter(const QString& path, const WaveFormat& format);
    // Abandons the file as far as it got (close() finishes it properly).
    ~SndFileWriter();
    SndFileWriter(const SndFileWriter&) = delete;
    SndFileWriter& operator=(const SndFileWriter&) = delete;

    sf_private_tag* handle() const { return file_; }
    // A write the file system refused shows in libsndfile only as a short count; this throws
    // the failure itself, if there was one.
    void throwIfWriteFailed() const;
    // Lets the disk start on what has reached the file so far, so that a sync of a long file at
    // its end waits for little.
    void startWriteback();
    // Lets libsndfile finish the header, writes out the buffer and closes the file. Throws
    // Failure (61 Disk full, ...).
    void close();

    // libsndfile's callbacks (public only for the table of them).
    int64_t length() const { return std::max(length_, pendingStart_ + int64_t(pending_.size())); }
    int64_t seek(int64_t offset, int whence);
    int64_t read(void* buffer, int64_t bytes);
    int64_t write(const void* data, int64_t bytes);
    int64_t tell() const { return position_; }

private:
    void flush();

    QString path_;
    NativeFile out_;
    int64_t position_ = 0;
    int64_t length_ = 0;            // bytes in the file on the disk
    int64_t writtenBack_ = 0;       // bytes the disk was told to start on
    std::vector<uint8_t> pending_;  // written here, not yet in the file
    int64_t pendingStart_ = 0;      // file offset of pending_[0]
    std::optional<Failure> writeFailure_;
    sf_private_tag* file_ = nullptr;
};

} // namespace tamblor::audio
