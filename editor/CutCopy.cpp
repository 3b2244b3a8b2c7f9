#include "editor/CutCopy.h"
#include "platform/Failure.h"

namespace tamblor::editor {

CutCopy::CutCopy(const QString& original, const QString& copyPath)
    : source_(original), replace_(original, copyPath)
{
}

bool CutCopy::write(const CutRange& cut, const audio::CopyProgress& progress)
{
    NativeFile& out = replace_.create();
    const int64_t size = dataSize();
    const std::vector<audio::DataRange> kept = cut.removed() > 0
                                                   ? std::vector<audio::DataRange>{{0, cut.from}, {cut.to, size}}
                                                   : std::vector<audio::DataRange>{{0, size}};
    try {
        if (source_.writeTo(out, kept, progress))
            return true;
    } catch (...) {
        replace_.discard();
        throw;
    }
    replace_.discard();
    return false;
}

void CutCopy::replaceOriginal() { replace_.commit(); }

} // namespace tamblor::editor
