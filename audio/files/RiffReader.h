#pragma once
// Reads the layout of a RIFF/WAVE file: where the sample data lies and what format it has.
// Every value the header states is checked against the real size of the file, so a caller
// that stays inside [dataOffset, dataOffset + dataSize) never reads outside the file.
#include "audio/core/WaveFormat.h"
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tamblor::audio {

struct RiffLayout {
    WaveFormat format;
    uint64_t dataOffset = 0; // file offset of the first sample byte
    uint64_t dataSize = 0;   // bytes of sample data
    uint64_t fileSize = 0;
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
};

} // namespace tamblor::audio
