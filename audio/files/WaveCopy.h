#pragma once
// Copies a wave file as it is, or with stretches of its sample data left out: every byte
// before the sample data (the format chunk and whatever else precedes it) with the sizes of
// what is copied, then the kept sample bytes unchanged. Nothing after the data is copied. The
// send-to window's plain copy and the editor's cut both write through here.
#include "audio/format/RiffReader.h"
#include "platform/NativeFile.h"
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace tamblor::audio {

// A stretch of sample data, in bytes from the first sample byte: [from, to).
struct DataRange {
    int64_t from = 0;
    int64_t to = 0;
};

// Called between pieces with the sample bytes dealt with so far (copied or left out);
// returning false abandons the copy.
using CopyProgress = std::function<bool(int64_t done)>;

class WaveCopy {
public:
    // Opens the source (a native path) and reads its layout through the RIFF reader, so a data
    // chunk longer than the file is copied as the whole frames that are there. Throws Failure.
    explicit WaveCopy(const QString& sourcePath);

    const RiffLayout& layout() const { return layout_; }

    // Writes the copy into `out` from its first byte, keeping the ranges given (in order, inside
    // the data; they are cut to it). Returns false when the progress callback abandoned it.
    // Throws Failure for anything the file system refuses.
    bool writeTo(NativeFile& out, const std::vector<DataRange>& kept, const CopyProgress& progress = {});
    // The same for the whole data.
    bool writeTo(NativeFile& out, const CopyProgress& progress = {});
    // Hands over the open source; nothing can be copied afterwards.
    NativeFile takeSource() { return std::move(source_); }

private:
    NativeFile source_;
    RiffLayout layout_;
};

} // namespace tamblor::audio
