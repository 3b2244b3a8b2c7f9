#pragma once
// The file side of a cut: the shortened copy is written to the numbered working name beside
// the original (the wave copy: the original's header with the new sizes, the sample data
// without the removed stretch) and takes the original's place only once it is complete and on
// the disk. A failure or a cancel removes the copy and leaves the original as it was.
#include "audio/files/WaveCopy.h"
#include "editor/EditorMath.h"
#include "platform/SafeReplace.h"
#include <QString>
#include <cstdint>

namespace tamblor::editor {

class CutCopy {
public:
    // Native paths of the original and of the copy (which must not exist yet). Opens and reads
    // the original. Throws Failure.
    CutCopy(const QString& original, const QString& copyPath);

    int64_t dataSize() const { return int64_t(source_.layout().dataSize); }
    // Writes the copy without `cut`. Returns false when the progress callback abandoned it
    // (the copy is removed). Throws Failure after removing the copy.
    bool write(const CutRange& cut, const audio::CopyProgress& progress);
    // Puts the complete copy in the original's place in one step. Throws Failure; the
    // original is then as it was and the copy is removed.
    void replaceOriginal();
    // The open handle of the original; after replaceOriginal() it is the last one of the
    // replaced file, whose space is given back when it closes.
    NativeFile takeOriginal() { return source_.takeSource(); }

private:
    audio::WaveCopy source_;
    SafeReplace replace_;
};

} // namespace tamblor::editor
