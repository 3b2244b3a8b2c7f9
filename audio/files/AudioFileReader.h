#pragma once
// Reads a wave file's audio for a conversion chain as 32-bit frames (every sample at full
// depth, left-justified: 16-bit samples come shifted up by 16 bits, float at its own level,
// 1.0 as 2^31, clipped only beyond full scale); libsndfile decodes PCM, float and MS-ADPCM. What the file holds is what the shared
// RIFF reader finds. Position and length are milliseconds; the position may be read from any
// thread while a pump reads the file.
#include "audio/format/RiffReader.h"
#include "audio/format/SndFileReader.h"
#include "platform/NativeFile.h"
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct sf_private_tag;

namespace tamblor::audio {

class AudioFileReader {
public:
    AudioFileReader() = default;
    ~AudioFileReader() { close(); }
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // Opens the file and reads its format; the empty name closes. Throws Failure.
    void setFileName(const QString& path);
    QString fileName() const { return path_; }
    bool isOpen() const { return file_ != nullptr; }
    // The file's format as its header states it (the "format reference").
    const WaveFormat& format() const { return layout_.format; }
    // Where the sample data lies in the file.
    const RiffLayout& layout() const { return layout_; }

    int64_t frames() const { return frames_; }
    int64_t length() const; // milliseconds
    int64_t position() const; // milliseconds read so far

    // Back to the first frame.
    void rewind();
    // Reads up to count frames (channels() samples each); returns frames read, 0 at the end.
    int64_t readFrames(int32_t* dst, int64_t count);
    // A copy of the file's bytes has got this far into the sample data (the position follows).
    void setBytesCopied(int64_t bytes);
    void close();

private:
    QString path_;
    std::unique_ptr<SndFileReader> sound_;
    sf_private_tag* file_ = nullptr; // sound_'s handle
    RiffLayout layout_;
    int64_t frames_ = 0;
    std::atomic<int64_t> framesRead_{0};
    std::vector<double> floats_; // a float file's samples on their way to integers
    // Linear PCM is read here as bytes and widened directly (libsndfile copies and converts in
    // small pieces, which cost more than the widening itself); its own handle serves the rest.
    NativeFile pcm_;
    std::vector<uint8_t> bytes_;
};

} // namespace tamblor::audio
