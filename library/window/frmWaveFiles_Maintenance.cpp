// The library window's maintenance commands: delete (through the confirmation window),
// export and send to, the printed list, and the commands for reserved slots.
#include "app/Application.h"
#include "app/PromptService.h"
#include "app/TimeText.h"
#include "library/maintenance/IndexMaintenance.h"
#include "library/maintenance/LibraryPrinter.h"
#include "library/window/SortedListBox.h"
#include "library/window/frmWaveFiles.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace tamblor {

void frmWaveFiles::confirmDelete()
{
    // The confirmation is about the selected entry (none when nothing is selected).
    const int row = lstSoundFile->selectedRow();
    if (Form* dialog = app().windows().show(WindowName::frmDialog1))
        dialog->openFor(row >= 0 ? lstSoundFile->itemData(row) : 0);
}

void frmWaveFiles::mnuDelete_Click()
{
    if (lstSoundFile->selectedRow() >= 0)
        confirmDelete();
}

void frmWaveFiles::mnuHiddenPopupDelete_Click()
{
    // The pop-up menu is offered only over a selected entry.
    confirmDelete();
}

void frmWaveFiles::sendSelected(const QString& noSelectionText)
{
    const int row = lstSoundFile->selectedRow();
    if (row < 0) {
        app().showMessage(noSelectionText);
        return;
    }
    const int slot = lstSoundFile->itemData(row);
    if (Form* send = app().windows().show(WindowName::frmSend))
        send->openFor(slot);
}

void frmWaveFiles::mnuExport_Click() { sendSelected("No file was selected."); }
void frmWaveFiles::mnuHiddenPopupSendTo_Click() { sendSelected("No file was selected"); }

void frmWaveFiles::mnuPrint_Click()
{
    const QString pdfDos = LibraryLayout::soundFolder(app().state().DriveLetter) + "\\Sound Files.pdf";
    LibraryPrinter printer(app().drives().toNative(pdfDos));
    try {
        printer.begin();
        const int count = lstSoundFile->count(); // taken once: the job's length is fixed now
        QPointer<frmWaveFiles> self(this);
        for (int row = 0; row < count; ++row) {
            QCoreApplication::processEvents();
            // The window may have been closed, or the program ended, meanwhile: drop the job
            // without touching what has gone.
            if (!self) {
                printer.abort();
                return;
            }
            if (row >= lstSoundFile->count())
                throw Failure(Failure::InvalidArrayIndex);
            const int slot = lstSoundFile->itemData(row);
            const IndexRecord r = library().record(slot);
            const QString time = secondsToTimeText(toInt32(leadingNumber(r.LengthText)));
            printer.printLine(LibraryPrinter::entryLine(r.SoundName, time, slot));
        }
        printer.end();
        if (LibraryPrinter::usesPdf())
            app().showMessage("No printer is installed. The list was printed to " + pdfDos);
    } catch (const Failure& f) {
        printer.abort(); // a failed job is not sent
        app().showMessage(f.text());
    }
}

void frmWaveFiles::mnuFileIndexView_Click() { IndexMaintenance(app(), library()).ViewFileIndex(); }
void frmWaveFiles::mnuFileIndexDelete_Click()
{
    // The command changes the index at once and cannot be undone: ask first.
    const auto answer = app().prompts().message(
        this, "Delete File Index",
        "Clear the slots that unfinished recordings left reserved in the file index?",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Question);
    if (answer == QMessageBox::Yes)
        IndexMaintenance(app(), library()).DeleteFileIndex(recording().recordState() != 0 ? recording().slot() : 0);
}

void frmWaveFiles::clearDetails()
{
    fields().SelectedSlot = 0;
    for (QLineEdit* box : {txtNumber, txtName, txtLength, txtRecordDate})
        box->clear(); // with no entry selected the boxes store nothing
    lblNumber->clear();
}

} // namespace tamblor
