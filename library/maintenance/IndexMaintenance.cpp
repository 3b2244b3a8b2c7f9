#include "library/maintenance/IndexMaintenance.h"
#include "app/Application.h"
#include "library/SlotIndex.h"

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
        if (s.IndexRecord.isReserved())
            index.release(s.ScanSlot);
    }
}

} // namespace tamblor
