#include "library/WorkingTakes.h"
#include "library/SoundLibrary.h"
#include "platform/CodePage.h"
#include "platform/Failure.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace tamblor {

QString WorkingTakes::fileNative(int32_t fixedSlot) const
{
    return library_.soundFolderFileNative(LibraryLayout::workingTakeFileName(fixedSlot));
}

QString WorkingTakes::filePath(int32_t fixedSlot) const
{
    return library_.soundFolderFilePath(LibraryLayout::workingTakeFileName(fixedSlot));
}

bool WorkingTakes::exists(int32_t fixedSlot) const { return QFileInfo(fileNative(fixedSlot)).isFile(); }

std::vector<int32_t> WorkingTakes::onDisk() const
{
    std::vector<int32_t> found;
    for (const QString& name : QDir(library_.soundFolderNative()).entryList(QDir::Files | QDir::Hidden)) {
        const int32_t slot = LibraryLayout::slotOfWorkingTakeName(name);
        if (slot >= 1 && slot <= LibraryLayout::MaxSlots)
            found.push_back(slot);
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

QString WorkingTakes::Kept::where() const
{
    return slot > 0 ? QString("in slot %1").arg(slot) : QString("in %1 (no slot was free)").arg(path);
}

WorkingTakes::Kept WorkingTakes::keep(int32_t fixedSlot, int32_t seconds, const QDate& day, const QString& name)
{
    const QString from = fileNative(fixedSlot);
    if (!QFileInfo(from).isFile())
        throw Failure(Failure::FileNotFound);
    const int32_t slot = library_.reserveFreeSlot(); // its old file, if any, is removed
    if (slot != 0) {
        const QString to = library_.slotFileNative(slot);
        if (!QFile::rename(from, to)) {
            try {
                library_.release(slot);
            } catch (const Failure&) {
                // Left reserved: "Delete File Index" frees a reserved slot with no file.
            }
            throw Failure(Failure::PathFileAccessError);
        }
        IndexRecord done = SoundLibrary::completedRecord(slot, seconds, day);
        done.setSoundName(codepage::toUpper(name));
        try {
            library_.write(slot, done);
        } catch (const Failure&) {
            library_.writeWhenPossible(slot, done);
        }
        return Kept{slot, library_.slotFilePath(slot), to};
    }
    for (int n = 1;; ++n) {
        const QString fileName = LibraryLayout::keptTakeFileName(fixedSlot, n);
        const QString to = library_.soundFolderFileNative(fileName);
        if (QFileInfo::exists(to))
            continue;
        if (!QFile::rename(from, to))
            throw Failure(Failure::PathFileAccessError);
        return Kept{0, library_.soundFolderFilePath(fileName), to};
    }
}

} // namespace tamblor
