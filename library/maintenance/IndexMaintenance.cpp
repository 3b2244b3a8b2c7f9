#include "library/maintenance/IndexMaintenance.h"
#include "core/Core.h"
#include "audio/format/RiffReader.h"
#include "library/SoundLibrary.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tamblor {

void IndexMaintenance::ViewFileIndex()
{
    QString text = ReportText;
    for (int32_t slot = 1; const auto r = library_.read(slot); ++slot) {
        if (r->isReserved()) {
            text += QString::number(slot) + ", ";
            app_.notices().tell("index", text, Notice::Severity::Warning);
        }
    }
}

void IndexMaintenance::DeleteFileIndex(int32_t takeSlot)
{
    for (int32_t slot = 1; const auto r = library_.read(slot); ++slot) {
        if (!r->isReserved() || slot == takeSlot)
            continue; // free, used, or the take being recorded now
        const QString file = library_.slotFileNative(slot);
        const int32_t seconds = audioSeconds(file);
        if (seconds < 0)
            library_.release(slot);
        else
            library_.complete(slot, seconds, QFileInfo(file).lastModified().date());
    }
}

int32_t IndexMaintenance::audioSeconds(const QString& nativePath)
{
    if (!QFileInfo(nativePath).isFile())
        return -1;
    // The shared reader, so a take cut short counts the frames that are there, as it plays.
    try {
        const audio::RiffLayout layout = audio::RiffReader::read(nativePath);
        const int64_t frames = layout.frames();
        if (frames <= 0 || layout.format.sampleRate <= 0)
            return -1;
        return toInt32(double(frames) / double(layout.format.sampleRate));
    } catch (const Failure&) {
        return -1;
    }
}

} // namespace tamblor
