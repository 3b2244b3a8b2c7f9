#include "info/frmAbout.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "app/PromptService.h"
#include "info/InfoServices.h"
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtEndian>
#include <cmath>
#include <numbers>

#ifndef TAMBLOR_VERSION_MAJOR
#error "the build gives TAMBLOR_VERSION_MAJOR, _MINOR and _PATCH"
#endif

namespace tamblor {

namespace {

const QString AppTitle = QStringLiteral("Tamblor");
constexpr qsizetype KeyBufferChars = 1024;

// The program's icon: a sound wave on a dark rounded square.
QPixmap programIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x3b, 0x57));
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 6.0, size / 6.0);
    QPainterPath wave;
    const double mid = size / 2.0;
    for (int x = 6; x <= size - 6; ++x) {
        const double t = double(x - 6) / (size - 12);
        const double envelope = std::sin(t * std::numbers::pi);
        const double y = mid - envelope * (size * 0.32) * std::sin(t * 6 * std::numbers::pi);
        if (x == 6)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setPen(QPen(QColor(0x7c, 0xe0, 0x7c), size / 18.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QPen(QColor(0xff, 0x4d, 0x4d), size / 24.0));
    p.setBrush(QColor(0xff, 0x4d, 0x4d));
    p.drawEllipse(QPointF(size * 0.8, size * 0.2), size / 14.0, size / 14.0);
    return pm;
}

} // namespace

frmAbout::frmAbout(Application& app) : Form(app, WindowName::frmAbout)
{
    setWindowTitle("About MyApp");

    picIcon = controls::label(this, "picIcon");
    picIcon->setPixmap(programIcon(64));
    picIcon->setFixedSize(64, 64);

    lblTitle = controls::label(this, "lblTitle", "Application Title");
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = controls::label(this, "lblVersion", "Version");

    lblDescription = controls::label(this, "lblDescription", "App Description");
    lblDescription->setWordWrap(true);
    lblDescription->setTextFormat(Qt::PlainText);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDescription->setMinimumWidth(330);

    cmdOK = controls::button(this, "cmdOK", "OK");
    cmdOK->setDefault(true);
    cmdSysInfo = controls::button(this, "cmdSysInfo", "&System Info...");
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    cmdOK->setMinimumWidth(cmdSysInfo->sizeHint().width());

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(10);
    text->addWidget(lblDescription, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addWidget(line);
    layout->addLayout(buttons);
}

QString frmAbout::versionText()
{
    return "Version " + QString::number(TAMBLOR_VERSION_MAJOR) + "." + QString::number(TAMBLOR_VERSION_MINOR) + "."
           + QString::number(TAMBLOR_VERSION_PATCH);
}

void frmAbout::Form_Load()
{
    setWindowTitle("About " + AppTitle);
    lblVersion->setText(versionText());
    lblTitle->setText(AppTitle);
    lblDescription->setText(
        QStringLiteral("Sound library, recorder and player for the broadcast studio, with a tone generator and "
                       "normalizer.")
        + QChar(10)
        + QStringLiteral("Sound handled with PortAudio, libsndfile and the SoX resampler; windows by Qt. "
                         "Our thanks to their authors."));
    // The window's smallest size keeps every wrapped line of the description.
    lblDescription->setMinimumHeight(lblDescription->heightForWidth(lblDescription->minimumWidth()));
}

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

QString frmAbout::nativePath(const QString& path) const
{
    const bool dos = path.size() >= 2 && path[1] == ':' && path[0].isLetter();
    return dos ? app().drives().toNative(path) : path;
}

void frmAbout::StartSysInfo()
{
    QString SysInfoPath;
    bool found = false;
    if (GetKeyValue(RegistryRoot::LocalMachine, SysInfoKeys::PathKey, SysInfoKeys::PathValue, SysInfoPath)) {
        found = !SysInfoPath.isEmpty();
    } else if (GetKeyValue(RegistryRoot::LocalMachine, SysInfoKeys::FolderKey, SysInfoKeys::FolderValue,
                           SysInfoPath)) {
        const QString program = SysInfoPath + "\\MSINFO32.EXE";
        if (!SysInfoPath.isEmpty() && QFileInfo(nativePath(program)).isFile()) {
            SysInfoPath = program;
            found = true;
        }
    }
    if (found && app().fields<InfoServices>().programStarter().start(nativePath(SysInfoPath)))
        return;
    app().prompts().message(this, AppTitle, SysInfoUnavailable, QMessageBox::Ok, QMessageBox::NoIcon);
}

bool frmAbout::GetKeyValue(RegistryRoot KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    KeyVal.clear();
    const Registry::Value v =
        app().fields<InfoServices>().systemRegistry().read(KeyRoot, KeyName, SubKeyRef, KeyBufferChars * 2);
    if (v.status != Registry::Status::Ok)
        return false;
    switch (v.type) {
    case RegText:
    case RegExpandText: {
        // Characters are two bytes; an odd last byte is no character.
        const qsizetype chars = v.data.size() / 2;
        QString text(chars, Qt::Uninitialized);
        for (qsizetype i = 0; i < chars; ++i)
            text[i] = QChar(qFromLittleEndian<char16_t>(v.data.constData() + 2 * i));
        if (!text.isEmpty() && text.back() == QChar(0))
            text.chop(1);
        KeyVal = text;
        return true;
    }
    case RegNumber: {
        if (v.data.size() < 4)
            return false;
        KeyVal = QString::number(qFromLittleEndian<quint32>(v.data.constData()), 16).toUpper();
        return true;
    }
    default:
        return false;
    }
}

} // namespace tamblor
