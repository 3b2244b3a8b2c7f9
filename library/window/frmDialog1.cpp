#include "library/window/frmDialog1.h"
#include "app/Application.h"
#include "library/SlotIndex.h"
#include "library/window/SortedListBox.h"
#include "library/window/frmWaveFiles.h"
#include "platform/Failure.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tamblor {

frmDialog1::frmDialog1(Application& app) : Form(app, "frmDialog1")
{
    lblDialog1 = new QLabel("Are You Sure?", this);
    lblDialog1->setObjectName("lblDialog1");
    lblDialog1->setAlignment(Qt::AlignCenter);
    QFont f = lblDialog1->font();
    f.setPointSize(f.pointSize() + 3);
    f.setBold(true);
    lblDialog1->setFont(f);
    OKButton = new QPushButton("DELETE", this);
    OKButton->setObjectName("OKButton");
    CancelButton = new QPushButton("CANCEL", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setDefault(true); // Enter never deletes by accident
    connect(OKButton, &QPushButton::clicked, this, &frmDialog1::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmDialog1::CancelButton_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
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
        auto* library = app().windows().find<frmWaveFiles>("frmWaveFiles");
        if (!library)
            throw Failure(Failure::InvalidArrayIndex);
        SortedListBox* list = library->lstSoundFile;
        const int selected = list->selectedRow();
        if (selected < 0)
            throw Failure(Failure::InvalidArrayIndex); // nothing selected: nothing is deleted
        const int slot = list->itemData(selected);
        const int top = list->topIndex();

        SlotIndex index(app());
        index.removeSoundFile(slot);
        // Free the slot keeping its own name, length and date.
        index.read(slot);
        index.release(slot);

        library->RebuildList(frmWaveFiles::Reselect::None);
        if (list->topIndex() != -1) {
            list->setTopIndex(top);
            library->selectEntry(selected - 1);
        }
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

} // namespace tamblor
