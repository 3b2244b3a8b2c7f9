// The library list: filling, selection, renaming and re-timing in place, the number jump,
// the two views and the right-button menu.
#include "app/Application.h"
#include "app/TimeText.h"
#include "audio/widgets/Slider.h"
#include "library/SlotIndex.h"
#include "library/window/SortedListBox.h"
#include "library/window/frmWaveFiles.h"
#include "platform/NumericText.h"
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace tamblor {

namespace {

// Blanks only, as the fixed-width fields are padded (tabs and other white space stay).
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

void frmWaveFiles::addListLine(int view, int slot)
{
    const QString& name = app().state().IndexRecord.SoundName; // all 25 characters
    QString line;
    switch (view) {
    case 1: // numbers first
        line = QString::number(slot).rightJustified(3, ' ') + "  " + name;
        break;
    case 2: // the rebuild layout: a blank for the sign, then the number in three columns
        line = name + "  " + QString::number(slot).rightJustified(4, ' ');
        break;
    default: // names first
        line = name + "  " + QString::number(slot).rightJustified(3, ' ');
        break;
    }
    lstSoundFile->addEntry(line, slot);
}

void frmWaveFiles::LoadWaveFiles()
{
    auto& st = app().state();
    selecting_ = true;
    lstSoundFile->clear();
    selecting_ = false;
    const int view = fields().ViewMode == 1 ? 1 : 0;
    for (st.ScanSlot = 1; index().read(st.ScanSlot); ++st.ScanSlot) {
        if (st.IndexRecord.isUsed())
            addListLine(view, st.ScanSlot);
    }
}

void frmWaveFiles::RebuildList(Reselect reselect)
{
    auto& st = app().state();
    selecting_ = true;
    lstSoundFile->clear();
    selecting_ = false;
    for (st.ScanSlot = 1; index().read(st.ScanSlot); ++st.ScanSlot) {
        if (st.IndexRecord.isUsed())
            addListLine(2, st.ScanSlot);
    }

    switch (reselect) {
    case Reselect::None:
        break;
    case Reselect::SelectedSlot:
        for (int row = 0; row < lstSoundFile->count(); ++row) {
            if (lstSoundFile->itemData(row) == fields().SelectedSlot) {
                lstSoundFile->setTopIndex(row);
                selectEntry(row);
            }
        }
        break;
    case Reselect::CurrentSlot: {
        const int row = lstSoundFile->findItemData(st.CurrentSlot);
        if (row >= 0) {
            lstSoundFile->scrollToItem(lstSoundFile->item(row));
            selectEntry(row);
        }
        break;
    }
    }
}

void frmWaveFiles::selectEntry(int row)
{
    selecting_ = true;
    if (row < 0) {
        lstSoundFile->clearSelection();
        lstSoundFile->setCurrentRow(-1);
    } else {
        lstSoundFile->setCurrentRow(row);
    }
    selecting_ = false;
    if (row >= 0)
        lstSoundFile_Click();
}

void frmWaveFiles::lstSoundFile_Click()
{
    auto& st = app().state();
    const int row = lstSoundFile->selectedRow();
    if (row < 0)
        return;
    showDeleteMenus(true);
    cmdPlay->setVisible(true);
    cmdPlay->setText("&Play");
    TrackBar->setPosition(0);

    const int slot = lstSoundFile->itemData(row);
    fields().SelectedSlot = slot;
    txtNumber->setText(QString::number(slot));
    index().read(slot);
    lblNumber->setText(QString::number(slot));
    // Filling the two edit boxes runs their change handling, which stores the shown values
    // back (the name without leading blanks, the length rewritten from its own time text).
    txtName->setText(trimBlanks(st.IndexRecord.SoundName));
    st.Seconds = toInt32(leadingNumber(st.IndexRecord.LengthText));
    SecondsToTimeText(st);
    txtLength->setText(st.TimeText);
    txtRecordDate->setText(trimBlanks(st.IndexRecord.RecordDate));
}

void frmWaveFiles::txtName_Change()
{
    auto& st = app().state();
    const int row = lstSoundFile->selectedRow();
    if (st.RecordState != 0 || row < 0)
        return;
    if (txtName->text() == st.IndexRecord.SoundName)
        return;
    st.CurrentSlot = lstSoundFile->itemData(row);
    index().rename(st.CurrentSlot, txtName->text());
}

void frmWaveFiles::txtLength_Change()
{
    auto& st = app().state();
    const int row = lstSoundFile->selectedRow();
    if (st.RecordState != 0 || row < 0)
        return;
    if (txtLength->text() == st.IndexRecord.LengthText)
        return;
    st.TimeText = txtLength->text();
    TimeTextToSeconds(st);
    st.CurrentSlot = lstSoundFile->itemData(row);
    index().retime(st.CurrentSlot, QString::number(st.Seconds));
}

void frmWaveFiles::txtName_DblClick() { txtName->clear(); }

void frmWaveFiles::txtName_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        RebuildList(Reselect::SelectedSlot);
}

void frmWaveFiles::txtNumber_DblClick() { txtNumber->clear(); }

void frmWaveFiles::txtNumber_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    // Only a search: the typed number never becomes CurrentSlot, which names the slot a
    // recording under way will be written to.
    const double number = roundHalfEven(leadingNumber(txtNumber->text()));
    if (number < 1 || number > SlotIndex::MaxSlots)
        return;
    const int row = lstSoundFile->findItemData(int(number));
    if (row < 0)
        return;
    lstSoundFile->setTopIndex(row);
    selectEntry(row);
}

void frmWaveFiles::mnuViewName_Click()
{
    fields().ViewMode = 0;
    LoadWaveFiles();
}

void frmWaveFiles::mnuViewNumber_Click()
{
    fields().ViewMode = 1;
    LoadWaveFiles();
}

void frmWaveFiles::mnuHiddenPopupRefresh_Click() { RebuildList(Reselect::None); }

void frmWaveFiles::lstSoundFile_KeyDown(int keyCode)
{
    if (keyCode == Qt::Key_Delete && lstSoundFile->selectedRow() >= 0)
        app().windows().show(WindowName::frmDialog1); // the delete confirmation, modeless
}

void frmWaveFiles::lstSoundFile_MouseUp(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::RightButton && lstSoundFile->selectedRow() >= 0)
        mnuHiddenPopup->popup(globalPos);
}

} // namespace tamblor
