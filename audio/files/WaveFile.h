#pragma once
// The wave object: one wave file's header values and raw access to its sample bytes.
// Reading goes through RiffReader (byte positions matter to the editor); creating goes
// through libsndfile, which keeps the header up to date while the file grows.
#include "audio/core/WaveFormat.h"
#include <QFile>
#include <QString>
#include <cstdint>

struct sf_private_tag;

namespace tamblor::audio {

class WaveFile {
public:
    WaveFile();
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // Names the file to read and reads its header; the empty name closes. Throws Failure.
    void setFileName(const QString& path);
    QString fileName() const { return path_; }

    // Creates a new file of the given PCM format for writing (replacing one of that name).
    void create(const QString& path, const WaveFormat& format);
    // Finishes a created file and closes the file. The header values stay readable.
    void close();
    bool isOpen() const { return reading_ || writer_ != nullptr; }
    bool isWriting() const { return writer_ != nullptr; }

    // Header values (bytes unless said otherwise).
    int64_t dataOffset() const { return int64_t(dataOffset_); }
    int64_t dataSize() const { return int64_t(dataSize_); }
    int64_t length() const { return int64_t(fileSize_); } // whole file, header included
    const WaveFormat& format() const { return format_; }
    int sampleRate() const { return format_.sampleRate; }
    int bitsPerSample() const { return format_.bitsPerSample; }
    int channelMode() const { return format_.channels > 1 ? 1 : 0; } // 0 mono, 1 stereo
    int formatTag() const { return format_.formatTag; }

    // Byte position within the sample data; the next read or write starts there.
    int64_t position() const { return position_; }
    void setPosition(int64_t bytes);
    // Ready for reading: the next read starts at the first sample byte.
    void rewind() { setPosition(0); }

    // Reads up to count sample bytes; returns how many were read (0 at the end of the data).
    int64_t read(void* dst, int64_t count);
    // Appends count sample bytes to a created file; returns count. Throws Failure.
    int64_t write(const void* src, int64_t count);

private:
    void reset();
    void readHeader();

    QString path_;
    QFile file_;
    bool reading_ = false;
    sf_private_tag* writer_ = nullptr;
    WaveFormat format_;
    uint64_t dataOffset_ = 0, dataSize_ = 0, fileSize_ = 0;
    int64_t position_ = 0;
};

} // namespace tamblor::audio
