#pragma once
// Writes the shortened copy of a wave file for a cut: the original's header (every chunk
// before the sample data, with the sizes of the shorter data), the sample data without the
// removed stretch, and nothing after it. The copy is made by the kernel where it can
// (copy_file_range), otherwise through a large buffer.
#include "editor/EditorMath.h"
#include <QString>
#include <cstdint>
#include <functional>

namespace tamblor::editor {

struct CutSource {
    QString path;           // native path of the original
    int64_t dataOffset = 0; // file offset of the first sample byte
    int64_t dataSize = 0;   // bytes of sample data (whole frames)
};

// Called between pieces with the sample bytes dealt with so far (copied or left out);
// returning false abandons the copy.
using CutProgress = std::function<bool(int64_t done)>;

// Creates `copyPath` (which must not exist yet) and writes the copy into it. Returns false
// when the progress callback abandoned it; the partial copy is then removed. Throws Failure
// for anything the file system refuses, after removing the partial copy. A source that ends
// early ends the copy; the header then states what was really copied.
bool writeCutCopy(const CutSource& source, const CutRange& cut, const QString& copyPath,
                  const CutProgress& progress);

} // namespace tamblor::editor
