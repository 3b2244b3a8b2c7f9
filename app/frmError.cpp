#include "app/frmError.h"
#include "app/Controls.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tamblor {

frmError::frmError(Application& app) : Form(app, WindowName::frmError)
{
    setWindowTitle("Error Message");
    lblMessage = controls::label(this, "lblMessage");
    lblMessage->setWordWrap(true);
    lblMessage->setMinimumSize(320, 80);
    lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);

    OKButton = controls::button(this, "OKButton", "OK");
    OKButton->setDefault(true);
    cmdOverRide = controls::button(this, "cmdOverRide", "OverRide");
    connect(OKButton, &QPushButton::clicked, this, &frmError::OKButton_Click);
    connect(cmdOverRide, &QPushButton::clicked, this, &frmError::cmdOverRide_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(cmdOverRide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage, 1);
    layout->addLayout(buttons);
}

void frmError::setMessage(const QString& text) { lblMessage->setText(text); }
QString frmError::message() const { return lblMessage->text(); }

void frmError::OKButton_Click() { close(); }
// "OverRide" has no effect beyond closing, exactly like "OK".
void frmError::cmdOverRide_Click() { close(); }

} // namespace tamblor
