#include "tools/frmNormalize.h"
#include "app/Application.h"
#include "app/PromptService.h"
#include "audio/files/FormatText.h"
#include "audio/files/Normalize.h"
#include "audio/widgets/Gauge.h"
#include "audio/widgets/Slider.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <new>

namespace tamblor {

namespace {
constexpr int kFullScale = 16384;
constexpr int kLoadPosition = 9191;
} // namespace

frmNormalize::frmNormalize(Application& app) : Form(app, "frmNormalize")
{
    setWindowTitle("Normalize");

    const FilesMenuBar menus = addFilesMenuBar();
    menuBar = menus.bar;
    mnuFiles = menus.files;
    connect(menus.exit, &QAction::triggered, this, &frmNormalize::mnuExit_Click);

    Slider = new audio::Slider(Qt::Vertical, this);
    Slider->setObjectName("Slider");
    Slider->setMaxValue(kFullScale);
    Slider->setPosition(kFullScale);
    Slider->setMinimumHeight(160);
    Slider->setToolTip("Target peak level of the file");
    connect(Slider, &audio::Slider::positionChanged, this, &frmNormalize::Slider_Change);

    lblLevel = new QLabel(this);
    lblLevel->setObjectName("lblLevel");
    lblLevel->setAlignment(Qt::AlignCenter);
    lblLevel->setMinimumWidth(lblLevel->fontMetrics().horizontalAdvance("-inf dB") + 16);

    Gauge = new audio::Gauge(this);
    Gauge->setObjectName("Gauge");
    Gauge->setCaption("Normalize...");
    Gauge->setMinimumWidth(200);
    Gauge->setVisible(false);
    QSizePolicy keepPlace = Gauge->sizePolicy(); // the window keeps its size when it shows
    keepPlace.setRetainSizeWhenHidden(true);
    Gauge->setSizePolicy(keepPlace);

    cmdNormalize = new QPushButton("Normalize", this);
    cmdNormalize->setObjectName("cmdNormalize");
    cmdNormalize->setDefault(true);
    connect(cmdNormalize, &QPushButton::clicked, this, &frmNormalize::cmdNormalize_Click);
    cmdClose = new QPushButton("Close", this);
    cmdClose->setObjectName("cmdClose");
    connect(cmdClose, &QPushButton::clicked, this, &frmNormalize::cmdClose_Click);

    auto* target = new QLabel("Target level", this);
    target->setObjectName("lblTarget");

    auto* grid = new QGridLayout(this);
    grid->setMenuBar(menuBar);
    grid->addWidget(target, 0, 0, Qt::AlignHCenter);
    grid->addWidget(Slider, 1, 0, 3, 1, Qt::AlignHCenter);
    grid->addWidget(lblLevel, 4, 0);
    grid->addWidget(cmdNormalize, 1, 1);
    grid->addWidget(cmdClose, 2, 1);
    grid->addWidget(Gauge, 4, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    grid->setContentsMargins(12, 12, 12, 12);
}

int frmNormalize::levelPercent(int position) { return toInt32(roundHalfEven(position / double(kFullScale) * 100.0)); }

QString frmNormalize::levelText(int position) { return audio::decibelText(position, kFullScale, 2); }

void frmNormalize::Form_Load()
{
    Slider->setPosition(kLoadPosition);
    lblLevel->setText(levelText(Slider->position()));
}

void frmNormalize::Form_Unload(bool& cancel)
{
    // Closed while a file is being worked on: stop the work (the file keeps its old
    // contents); the window closes once the normalizer has returned.
    if (working_) {
        closeRequested_ = true;
        cancel = true;
    }
}

void frmNormalize::Slider_Change(int position) { lblLevel->setText(levelText(position)); }

void frmNormalize::cmdClose_Click() { close(); }
void frmNormalize::mnuExit_Click() { close(); }

bool frmNormalize::NormalizeProgress(int percent, int phase, int)
{
    Gauge->setCaption(phase == 0 ? QStringLiteral("Scanning ") : QStringLiteral("Normalize "));
    Gauge->setValue(percent);
    return !closeRequested_;
}

void frmNormalize::setWorking(bool working)
{
    // While the work runs the window only shows progress: the level is fixed and a second
    // start would work on the same file twice. Closing the window stops the work instead.
    working_ = working;
    Slider->setEnabled(!working);
    cmdNormalize->setEnabled(!working);
    cmdClose->setEnabled(!working);
    mnuFiles->setEnabled(!working);
}

void frmNormalize::cmdNormalize_Click()
{
    if (working_)
        return;
    Application& a = app();
    // The program may end while the work runs (the main menu closed); then this window is
    // gone when the normalizer returns.
    QPointer<frmNormalize> self(this);
    try {
        Gauge->setVisible(true);
        const int level = levelPercent(Slider->position());
        closeRequested_ = false;
        setWorking(true);
        QString name = FileName;
        const auto progress = [self](int percent, int phase, int unused) {
            if (!self)
                return false;
            self->NormalizeProgress(percent, phase, unused);
            self->Gauge->repaint();
            QCoreApplication::processEvents();
            return self && !self->closeRequested_;
        };
        const auto askForFile = [self, &a]() -> QString {
            if (!self)
                return {};
            return a.prompts().openFileName(self, "Normalize", a.drives().toNative("c:\\Tamblor"),
                                            "Wave files (*.wav);;All files (*)");
        };
        audio::NormalizeFile(name, level, progress, askForFile);
        if (!self)
            return;
        FileName = name;
        setWorking(false);
        Gauge->setValue(0);
        Gauge->setVisible(false);
        close();
    } catch (const Failure& f) {
        if (!self)
            return;
        setWorking(false);
        a.showMessage(f.text());
    } catch (const std::bad_alloc&) {
        if (!self)
            return;
        setWorking(false);
        a.showMessage(Failure(Failure::OutOfMemory).text());
    }
}

} // namespace tamblor
