#pragma once
// Reads the layout of a RIFF/WAVE file: where the sample data lies and what format it has.
// Every value the header states is checked against the real size of the file, so a caller
// that stays inside [dataOffset, dataOffset + dataSize) never reads outside the file. A data
// chunk that claims more than the file holds (a take cut short by another recorder) is read
// as the whole frames (blocks) that are there. Every part of the program that opens a sound
// file reads it through here, so all of them agree on what a file holds.
#include "audio/core/WaveFormat.h"
#include <cstddef>
#include <cstdint>
#include <QString>
#include <functional>

namespace tamblor::audio {

struct RiffLayout {
    WaveFormat format;
    uint64_t dataOffset = 0; // file offset of the first sample byte
    uint64_t dataSize = 0;   // bytes of sample data
    uint64_t fileSize = 0;
    bool extensible = false; // the fmt chunk is WAVE_FORMAT_EXTENSIBLE
    int64_t factFrames = -1;  // the frame count of a fact chunk before the data; -1 without one

    // Sample frames in the data: whole blocks times the samples each holds; of ADPCM, whose
    // last block is filled up, the fact chunk's count when it lies within that last block.
    int64_t frames() const;
};

class RiffReader {
public:
    // Reads up to n bytes at offset into buf and returns how many it read.
    using Source = std::function<size_t(uint64_t offset, void* buf, size_t n)>;

    // A fmt chunk larger than this is refused; the largest real one (extensible) is 40 bytes.
    static constexpr uint32_t kMaxFmtSize = 1024;

    // Throws Failure (321 Invalid file format) for anything that is not a readable wave file.
    static RiffLayout parse(const Source& source, uint64_t fileSize);
    static RiffLayout parse(const uint8_t* bytes, size_t size);
    // Opens the file at a native path and reads its layout. Throws Failure (53 File not
    // found, 70 Permission denied, 321 Invalid file format: ...).
    static RiffLayout read(const QString& path);
};

} // namespace tamblor::audio
