#include "wavefiles/frmDialog1.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "library/SoundLibrary.h"
#include "platform/Failure.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tamblor {

frmDialog1::frmDialog1(Application& app, SoundLibrary& library)
    : Form(app, WindowName::frmDialog1), library_(library)
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
    // Named once the entry is handed over.
    setWindowTitle("Delete ?");
    lblName->setText("Delete ?");
    connect(&library_, &SoundLibrary::slotChanged, this, [this](int slot) {
        if (slot_ > 0 && slot == slot_)
            showEntry();
    });
    // Without the library window there is no list to delete from.
    if (Form* library = app().windows().find(WindowName::frmWaveFiles))
        connect(library, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, &frmDialog1::close); });
}

void frmDialog1::openFor(int slot)
{
    if (slot_ > 0 || slot <= 0)
        return;
    slot_ = slot;
    showEntry();
}

void frmDialog1::showEntry()
{
    const auto record = library_.read(slot_);
    if (!record || !record->isUsed()) {
        // Checked once the change in hand is complete.
        QTimer::singleShot(0, this, &frmDialog1::close);
        return;
    }
    QString name = record->SoundName;
    while (name.endsWith(' '))
        name.chop(1);
    setWindowTitle("Delete " + name + "?");
    lblName->setText("Delete " + name + "?");
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
        // The entry this window names; gone means nothing to delete.
        const auto record = slot_ > 0 ? library_.read(slot_) : std::nullopt;
        if (!record || !record->isUsed())
            throw Failure(Failure::InvalidArrayIndex);
        library_.removeSoundFile(slot_);
        // Free the slot keeping its own name, length and date.
        library_.release(slot_);
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

} // namespace tamblor
