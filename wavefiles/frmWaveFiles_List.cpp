// The library list: filling, selection, renaming and re-timing in place, the number jump,
// the two views and the right-button menu.
#include "app/Application.h"
#include "core/TimeText.h"
#include "audio/widgets/Slider.h"
#include "wavefiles/SortedListBox.h"
#include "wavefiles/frmWaveFiles.h"
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

void frmWaveFiles::addListLine(int view, int slot, const QString& name)
{
    // The name with all its 25 characters.
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
    selecting_ = true;
    lstSoundFile->clear();
    selecting_ = false;
    listView_ = fields().ViewMode == 1 ? 1 : 0;
    for (int32_t slot = 1; const auto r = library().read(slot); ++slot) {
        if (r->isUsed())
            addListLine(listView_, slot, r->SoundName);
    }
}

void frmWaveFiles::RebuildList(Reselect reselect)
{
    selecting_ = true;
    lstSoundFile->clear();
    selecting_ = false;
    listView_ = 2;
    for (int32_t slot = 1; const auto r = library().read(slot); ++slot) {
        if (r->isUsed())
            addListLine(listView_, slot, r->SoundName);
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
    case Reselect::TakeSlot: {
        const int row = lstSoundFile->findItemData(recording().slot());
        if (row >= 0) {
            lstSoundFile->scrollToItem(lstSoundFile->item(row));
            selectEntry(row);
        }
        break;
    }
    }
}

void frmWaveFiles::ownEdit(const std::function<void()>& edit)
{
    const bool outer = ownEdit_;
    ownEdit_ = true;
    try {
        edit();
    } catch (...) {
        ownEdit_ = outer;
        throw;
    }
    ownEdit_ = outer;
}

void frmWaveFiles::followSlot(int slot)
{
    if (ownEdit_)
        return;
    const IndexRecord r = library().record(slot);
    const int row = lstSoundFile->findItemData(slot);
    if (row >= 0 && !r.isUsed()) {
        // The entry was deleted: the list keeps its place and selects the entry above it; the
        // detail boxes are emptied when none is.
        const int top = lstSoundFile->topIndex();
        RebuildList(Reselect::None);
        if (lstSoundFile->topIndex() != -1) {
            lstSoundFile->setTopIndex(top);
            selectEntry(row - 1);
        }
        if (lstSoundFile->selectedRow() < 0)
            clearDetails();
        return;
    }
    if (!r.isUsed())
        return; // reserved or freed, and not listed
    // A new entry, or one renamed or re-timed elsewhere: its line is placed anew; the
    // selection stays on the entry it was on.
    const int selectedRow = lstSoundFile->selectedRow();
    const int selected = selectedRow >= 0 ? lstSoundFile->itemData(selectedRow) : 0;
    const int top = lstSoundFile->topIndex();
    selecting_ = true;
    if (row >= 0)
        delete lstSoundFile->takeItem(row);
    addListLine(listView_, slot, r.SoundName);
    if (selected != 0)
        lstSoundFile->setCurrentRow(lstSoundFile->findItemData(selected));
    if (top >= 0)
        lstSoundFile->setTopIndex(std::min(top, lstSoundFile->count() - 1));
    selecting_ = false;
    if (selected == slot && recording().state() == RecordingSession::State::Idle) {
        following_ = true;
        txtName->setText(trimBlanks(r.SoundName));
        txtLength->setText(secondsToTimeText(toInt32(leadingNumber(r.LengthText))));
        txtRecordDate->setText(trimBlanks(r.RecordDate));
        following_ = false;
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
    const int row = lstSoundFile->selectedRow();
    if (row < 0)
        return;
    showDeleteMenus(true);
    cmdPlay->setVisible(true);
    cmdPlay->setText("&Play");
    TrackBar->setPosition(0);

    const int slot = lstSoundFile->itemData(row);
    fields().SelectedSlot = slot;
    studio_.remote().setSelectedSlot(slot); // what the play input plays
    txtNumber->setText(QString::number(slot));
    const IndexRecord r = library().record(slot);
    lblNumber->setText(QString::number(slot));
    // Filling the two edit boxes runs their change handling, which stores the shown values
    // back (the name without leading blanks, the length rewritten from its own time text).
    txtName->setText(trimBlanks(r.SoundName));
    txtLength->setText(secondsToTimeText(toInt32(leadingNumber(r.LengthText))));
    txtRecordDate->setText(trimBlanks(r.RecordDate));
    studio_.measurer().request(slot);
    showFigures(slot);
}

void frmWaveFiles::txtName_Change()
{
    const int row = lstSoundFile->selectedRow();
    if (following_ || recording().recordState() != 0 || row < 0)
        return;
    const int slot = lstSoundFile->itemData(row);
    if (txtName->text() == library().record(slot).SoundName)
        return;
    ownEdit([&] { library().rename(slot, txtName->text()); });
}

void frmWaveFiles::txtLength_Change()
{
    const int row = lstSoundFile->selectedRow();
    if (following_ || recording().recordState() != 0 || row < 0)
        return;
    const int slot = lstSoundFile->itemData(row);
    if (txtLength->text() == library().record(slot).LengthText)
        return;
    const int32_t seconds = timeTextToSeconds(txtLength->text());
    ownEdit([&] { library().retime(slot, seconds); });
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
    // Only a search: the typed number never touches the slot a recording under way is
    // written to.
    const double number = roundHalfEven(leadingNumber(txtNumber->text()));
    if (number < 1 || number > LibraryLayout::MaxSlots)
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

void frmWaveFiles::mnuHiddenPopupRefresh_Click()
{
    // What another program changed in the index is announced first, so every window that
    // shows a slot follows it.
    library().refresh();
    RebuildList(Reselect::None);
}

void frmWaveFiles::lstSoundFile_KeyDown(int keyCode)
{
    if (keyCode == Qt::Key_Delete && lstSoundFile->selectedRow() >= 0)
        confirmDelete(); // the delete confirmation, modeless
}

void frmWaveFiles::lstSoundFile_MouseUp(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::RightButton && lstSoundFile->selectedRow() >= 0)
        mnuHiddenPopup->popup(globalPos);
}

} // namespace tamblor
