#include "library/window/frmDialog1.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "library/SlotIndex.h"
#include "library/window/SortedListBox.h"
#include "library/window/frmWaveFiles.h"
#include "platform/Failure.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tamblor {

frmDialog1::frmDialog1(Application& app) : Form(app, WindowName::frmDialog1)
{
    // The title bar may cut a long name short; the window shows it whole.
    lblName = controls::label(this, "lblName");
    lblName->setAlignment(Qt::AlignCenter);
    lblName->setWordWrap(true);
    lblName->setTextFormat(Qt::PlainText);
    lblName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblDialog1 = controls::label(this, "lblDialog1", "Are You Sure?");
    lblDialog1->setAlignment(Qt::AlignCenter);
    QFont f = lblDialog1->font();
    f.setPointSize(f.pointSize() + 3);
    f.setBold(true);
    lblDialog1->setFont(f);
    OKButton = controls::button(this, "OKButton", "DELETE");
    CancelButton = controls::button(this, "CancelButton", "CANCEL");
    CancelButton->setDefault(true); // Enter never deletes by accident
    connect(OKButton, &QPushButton::clicked, this, &frmDialog1::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmDialog1::CancelButton_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblName);
    layout->addWidget(lblDialog1);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

void frmDialog1::Form_Load()
{
    // The record buffer holds the entry last selected in the list.
    QString name = app().state().IndexRecord.SoundName;
    while (name.endsWith(' '))
        name.chop(1);
    setWindowTitle("Delete " + name + "?");
    lblName->setText("Delete " + name + "?");

    auto* library = app().windows().find<frmWaveFiles>(WindowName::frmWaveFiles);
    if (!library)
        return;
    const int row = library->lstSoundFile->selectedRow();
    slot_ = row >= 0 ? library->lstSoundFile->itemData(row) : 0;
    // Checked once the change in hand is complete: a rebuild empties the list before it
    // fills it again.
    auto later = [this] { QTimer::singleShot(0, this, &frmDialog1::closeWhenEntryGone); };
    QAbstractItemModel* entries = library->lstSoundFile->model();
    connect(entries, &QAbstractItemModel::rowsRemoved, this, later);
    connect(entries, &QAbstractItemModel::modelReset, this, later);
    connect(library, &QObject::destroyed, this, later);
}

void frmDialog1::closeWhenEntryGone()
{
    auto* library = app().windows().find<frmWaveFiles>(WindowName::frmWaveFiles);
    if (!library || library->lstSoundFile->findItemData(slot_) < 0)
        close();
}

void frmDialog1::OKButton_Click()
{
    DeleteFile();
    close();
}

void frmDialog1::CancelButton_Click()
{
    close();
}

void frmDialog1::DeleteFile()
{
    try {
        auto* library = app().windows().find<frmWaveFiles>(WindowName::frmWaveFiles);
        if (!library)
            throw Failure(Failure::InvalidArrayIndex);
        SortedListBox* list = library->lstSoundFile;
        // The entry this window names, wherever it stands now; gone means nothing to delete.
        const int position = slot_ > 0 ? list->findItemData(slot_) : -1;
        if (position < 0)
            throw Failure(Failure::InvalidArrayIndex);
        const int top = list->topIndex();

        SlotIndex index(app());
        index.removeSoundFile(slot_);
        // Free the slot keeping its own name, length and date.
        index.read(slot_);
        index.release(slot_);

        library->RebuildList(frmWaveFiles::Reselect::None);
        if (list->topIndex() != -1) {
            list->setTopIndex(top);
            library->selectEntry(position - 1);
        }
        if (list->selectedRow() < 0)
            library->clearDetails(); // the deleted entry is shown no more
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

} // namespace tamblor
