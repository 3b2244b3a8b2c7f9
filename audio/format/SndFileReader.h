#pragma once
// A sound file opened for libsndfile to decode, read through large buffered reads: libsndfile
// on its own reads a few kilobytes per system call, which cost more than the decoding itself
// for an hour of sound. A header whose data size says "none" where the shared RIFF reader
// finds sound is shown to libsndfile with the size the RIFF reader found, so both count the
// same frames.
#include "platform/Failure.h"
#include "platform/NativeFile.h"
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct sf_private_tag;

namespace tamblor::audio {

class SndFileReader {
public:
    // Opens the file (a native path) and lets libsndfile read its header. Throws Failure: the
    // file system's (53 File not found, ...) or the format's.
    explicit SndFileReader(const QString& path);
    ~SndFileReader();
    SndFileReader(const SndFileReader&) = delete;
    SndFileReader& operator=(const SndFileReader&) = delete;

    sf_private_tag* handle() const { return file_; }
    // Frames as libsndfile counts them from the header.
    int64_t frames() const { return frames_; }
    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    // A read the file system refused ends libsndfile's reading as if the file ended there;
    // this throws that failure, if there was one since the file was opened.
    void throwIfReadFailed() const;

    // libsndfile's callbacks (public only for the table of them).
    int64_t length() const { return length_; }
    int64_t seek(int64_t offset, int whence);
    int64_t read(void* buffer, int64_t bytes);
    int64_t write(const void*, int64_t) { return 0; } // never written
    int64_t tell() const { return position_; }

private:
    void agreeWithRiffReader();
    int64_t readFromFile(void* buffer, int64_t bytes);

    NativeFile source_;
    int64_t length_ = 0;
    int64_t position_ = 0;
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0; // file offset of buffer_[0]
    int64_t buffered_ = 0;    // bytes valid in buffer_
    std::optional<Failure> readFailure_;
    sf_private_tag* file_ = nullptr;
    int64_t frames_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
    // Where the header's data size is read with another value, and that value (-1: nowhere).
    int64_t dataSizeAt_ = -1;
    uint8_t dataSize_[4] = {};
};

} // namespace tamblor::audio
