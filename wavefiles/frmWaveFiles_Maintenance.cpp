// The library window's maintenance commands: delete (through the confirmation window),
// export and send to, the printed list, and the commands for reserved slots.
#include "app/Application.h"
#include "app/PromptService.h"
#include "core/TimeText.h"
#include "audio/jobs/Job.h"
#include "library/maintenance/IndexMaintenance.h"
#include "wavefiles/LibraryPrinter.h"
#include "wavefiles/SortedListBox.h"
#include "wavefiles/frmWaveFiles.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QLabel>
#include <QLineEdit>

namespace tamblor {

void frmWaveFiles::confirmDelete()
{
    // The confirmation is about the selected entry (none when nothing is selected).
    const int row = lstSoundFile->selectedRow();
    app().windows().showFor(WindowName::frmDialog1, row >= 0 ? lstSoundFile->itemData(row) : 0);
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
    app().windows().showFor(WindowName::frmSend, lstSoundFile->itemData(row));
}

void frmWaveFiles::mnuExport_Click() { sendSelected("No file was selected."); }
void frmWaveFiles::mnuHiddenPopupSendTo_Click() { sendSelected("No file was selected"); }

void frmWaveFiles::mnuPrint_Click()
{
    if (printJob_->isRunning()) {
        app().showMessage("The list is being printed. Wait until it has been printed.");
        return;
    }
    printPdfDos_ = LibraryLayout::soundFolder(app().state().DriveLetter) + "\\Sound Files.pdf";
    // The lines as the list shows them now; the printout itself runs as a job.
    QStringList lines;
    try {
        for (int row = 0; row < lstSoundFile->count(); ++row) {
            const int slot = lstSoundFile->itemData(row);
            const IndexRecord r = library().record(slot);
            const QString time = secondsToTimeText(toInt32(leadingNumber(r.LengthText)));
            lines << LibraryPrinter::entryLine(r.SoundName, time, slot);
        }
    } catch (const Failure& f) {
        app().showMessage(f.text());
        return;
    }
    const QString pdf = app().drives().toNative(printPdfDos_);
    printJob_->start([pdf, lines](jobs::JobControl& job) {
        LibraryPrinter printer(pdf);
        printer.print(lines, [&job](int percent) {
            job.progress(percent);
            return !job.cancelled();
        });
    });
}

void frmWaveFiles::printEnded()
{
    if (const auto& failure = printJob_->failure()) {
        app().showMessage(jobs::failureText(*failure, LibraryPrinter::usesPdf() ? printPdfDos_ : QString()));
        return;
    }
    if (!printJob_->wasCancelled() && LibraryPrinter::usesPdf())
        app().showMessage("No printer is installed. The list was printed to " + printPdfDos_);
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
    lblFigures->clear();
}

} // namespace tamblor
