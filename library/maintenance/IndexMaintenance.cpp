#include "library/maintenance/IndexMaintenance.h"
#include "app/Application.h"
#include "audio/format/RiffReader.h"
#include "library/SlotIndex.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tamblor {

void IndexMaintenance::ViewFileIndex()
{
    SlotIndex index(app_);
    SharedState& s = app_.state();
    QString text = ReportText;
    for (s.ScanSlot = 1; index.read(s.ScanSlot); ++s.ScanSlot) {
        if (s.IndexRecord.isReserved()) {
            text += QString::number(s.ScanSlot) + ", ";
            app_.showMessage(text);
        }
    }
}

void IndexMaintenance::DeleteFileIndex()
{
    SlotIndex index(app_);
    SharedState& s = app_.state();
    for (s.ScanSlot = 1; index.read(s.ScanSlot); ++s.ScanSlot) {
        if (!s.IndexRecord.isReserved())
            continue;
        if (s.RecordState != 0 && s.ScanSlot == s.CurrentSlot)
            continue; // the take being recorded now
        const QString file = app_.drives().toNative(index.slotFilePath(s.ScanSlot));
        const int32_t seconds = audioSeconds(file);
        if (seconds < 0)
            index.release(s.ScanSlot);
        else
            index.completeSlot(s.ScanSlot, seconds, QFileInfo(file).lastModified().date());
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
