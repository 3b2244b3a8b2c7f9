// Feeds arbitrary bytes to the RIFF layout reader. Whatever it accepts must lie inside the
// input, and scanning the accepted data (as the editor draws it) must stay inside too.
#include "audio/format/RiffReader.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include <cstdlib>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy so that AddressSanitizer sees any byte read past the end.
    std::vector<uint8_t> bytes(data, data + size);
    try {
        const RiffLayout l = RiffReader::parse(bytes.data(), bytes.size());
        if (l.dataOffset > size || l.dataSize > size - l.dataOffset || l.fileSize != size)
            std::abort();
        if (l.format.channels < 1 || l.format.sampleRate < 1 || l.format.blockAlign < 1)
            std::abort();
        int64_t count = int64_t(l.dataSize);
        blockExtremes(l.format, bytes.data() + l.dataOffset, count);
        if (count < 0 || uint64_t(count) > l.dataSize)
            std::abort();
    } catch (const Failure&) {
        // A refused file is the expected outcome for most inputs.
    }
    return 0;
}
