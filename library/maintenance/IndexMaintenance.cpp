#include "library/maintenance/IndexMaintenance.h"
#include "app/Application.h"
#include "library/SlotIndex.h"
#include "platform/NumericText.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <sndfile.h>

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
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(nativePath).constData(), SFM_READ, &info);
    if (!f)
        return -1;
    sf_close(f);
    if (info.frames <= 0 || info.samplerate <= 0)
        return -1;
    return toInt32(double(info.frames) / double(info.samplerate));
}

} // namespace tamblor
