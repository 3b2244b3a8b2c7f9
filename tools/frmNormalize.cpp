#include "tools/frmNormalize.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "app/PromptService.h"
#include "audio/files/FormatText.h"
#include "audio/files/Normalize.h"
#include "audio/widgets/Gauge.h"
#include "audio/widgets/Slider.h"
#include "audio/jobs/Job.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <new>

namespace tamblor {

namespace {
constexpr int kFullScale = 16384;
constexpr int kLoadPosition = 9191;
} // namespace

// What a run of the normalizer gives back to the window, written by the job before it ends.
struct frmNormalize::Outcome {
    bool done = false;
    audio::NormalizeReport report;
};

frmNormalize::frmNormalize(Application& app) : Form(app, WindowName::frmNormalize)
{
    setWindowTitle("Normalize");

    const FilesMenuBar menus = addFilesMenuBar();
    menuBar = menus.bar;
    mnuFiles = menus.files;
    connect(menus.exit, &QAction::triggered, this, &frmNormalize::mnuExit_Click);

    Slider = controls::named(new audio::Slider(Qt::Vertical, this), "Slider");
    Slider->setMaxValue(kFullScale);
    Slider->setPosition(kFullScale);
    Slider->setMinimumHeight(160);
    Slider->setToolTip("Target peak level of the file");
    connect(Slider, &audio::Slider::positionChanged, this, &frmNormalize::Slider_Change);

    lblLevel = controls::label(this, "lblLevel");
    lblLevel->setAlignment(Qt::AlignCenter);
    lblLevel->setMinimumWidth(lblLevel->fontMetrics().horizontalAdvance("-inf dB") + 16);

    Gauge = controls::named(new audio::Gauge(this), "Gauge");
    Gauge->setCaption("Normalize...");
    Gauge->setMinimumWidth(200);
    Gauge->setVisible(false);
    QSizePolicy keepPlace = Gauge->sizePolicy(); // the window keeps its size when it shows
    keepPlace.setRetainSizeWhenHidden(true);
    Gauge->setSizePolicy(keepPlace);

    cmdNormalize = controls::button(this, "cmdNormalize", "Normalize");
    cmdNormalize->setDefault(true);
    connect(cmdNormalize, &QPushButton::clicked, this, &frmNormalize::cmdNormalize_Click);
    cmdClose = controls::button(this, "cmdClose", "Close");
    connect(cmdClose, &QPushButton::clicked, this, &frmNormalize::cmdClose_Click);

    auto* target = controls::label(this, "lblTarget", "Target level");

    // The kind of normalize: the peak level of the slider, or a loudness target.
    auto* mode = controls::frame(this, "fraMode", "Normalize to");
    optPeak = controls::option(mode, "optPeak", "Peak level");
    optPeak->setChecked(true);
    optLoudness = controls::option(mode, "optLoudness", "Loudness");
    txtTarget = controls::named(new QDoubleSpinBox(mode), "txtTarget");
    txtTarget->setRange(-70.0, 0.0);
    txtTarget->setDecimals(1);
    txtTarget->setSingleStep(0.5);
    txtTarget->setSuffix(" LUFS");
    txtTarget->setValue(kDefaultLoudness);
    // Tall enough for the text inside it and the box's frame.
    txtTarget->setMinimumHeight(txtTarget->fontMetrics().height() + 12);
    txtTarget->setToolTip("Integrated loudness of the file: -23 LUFS for broadcast, -16 LUFS is common online");
    lblCeiling = controls::label(mode, "lblCeiling", QStringLiteral("True peak at most %1 dBTP").arg(kTruePeakCeiling, 0, 'f', 1));
    connect(optPeak, &QRadioButton::toggled, this, &frmNormalize::optMode_Click);
    auto* loudnessRow = new QHBoxLayout;
    loudnessRow->addWidget(optLoudness);
    loudnessRow->addWidget(txtTarget);
    loudnessRow->addStretch();
    auto* modeLayout = new QVBoxLayout(mode);
    modeLayout->addWidget(optPeak);
    modeLayout->addLayout(loudnessRow);
    modeLayout->addWidget(lblCeiling);
    // The loudness of a mono file is that of its one channel on both loudspeakers, 3 dB above
    // the same channel measured alone: the operator is told which.
    // Two lines of their own (a wrapped label would leave the window's smallest size too small).
    lblMono = controls::label(mode, "lblMono", "A mono file is measured as heard\non two loudspeakers.");
    modeLayout->addWidget(lblMono);

    // What the scan measured.
    auto* measured = controls::frame(this, "fraMeasured", "Measured");
    lblIntegrated = controls::label(measured, "lblIntegrated");
    lblRange = controls::label(measured, "lblRange");
    lblTruePeak = controls::label(measured, "lblTruePeak");
    auto* measuredLayout = new QVBoxLayout(measured);
    measuredLayout->addWidget(lblIntegrated);
    measuredLayout->addWidget(lblRange);
    measuredLayout->addWidget(lblTruePeak);
    lblResult = controls::label(this, "lblResult");
    lblResult->setWordWrap(true);
    // Room for the longest outcome, so the window need not grow when it is shown.
    lblResult->setMinimumHeight(lblResult->fontMetrics().lineSpacing() * 3 + 4);
    lblResult->setMinimumWidth(lblResult->fontMetrics().horizontalAdvance("True peak at most -1.0 dBTP") + 40);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNormalize);
    buttons->addWidget(cmdClose);
    buttons->addStretch();

    auto* grid = new QGridLayout(this);
    grid->setMenuBar(menuBar);
    grid->addWidget(target, 0, 0, Qt::AlignHCenter);
    grid->addWidget(Slider, 1, 0, 4, 1, Qt::AlignHCenter);
    grid->addWidget(lblLevel, 5, 0);
    grid->addWidget(mode, 0, 1, 2, 1);
    grid->addWidget(measured, 2, 1);
    grid->addWidget(lblResult, 3, 1);
    grid->addLayout(buttons, 4, 1, Qt::AlignBottom);
    grid->addWidget(Gauge, 5, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    grid->setContentsMargins(12, 12, 12, 12);
    showLoudness({std::nan(""), std::nan(""), std::nan("")});
    optMode_Click();

    job_ = new jobs::Job(this);
    connect(job_, &jobs::Job::progressed, this, [this](int percent, int phase) {
        NormalizeProgress(percent, phase, 0);
        Gauge->repaint(); // each step shows as it arrives
    });
    connect(job_, &jobs::Job::finished, this, [this] {
        if (const auto& failure = job_->failure()) {
            // The file is as it was; the window stays for another try.
            const QString file = this->app().drives().toDos(FileName);
            FileName.clear(); // the next try asks for the file again
            setWorking(false);
            this->app().showMessage(jobs::failureText(*failure, file));
            return;
        }
        workEnded(outcome_->done);
    });
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
    // contents); the window closes once the job has ended.
    if (working_) {
        closeRequested_ = true;
        job_->cancel();
        cancel = true;
    }
}

void frmNormalize::Slider_Change(int position) { lblLevel->setText(levelText(position)); }

void frmNormalize::optMode_Click()
{
    const bool peak = optPeak->isChecked();
    // The peak level and its text only count for a peak normalize.
    Slider->setEnabled(peak && !working_);
    lblLevel->setEnabled(peak && !working_);
    txtTarget->setEnabled(!peak && !working_);
}

namespace {

// "-18.3 LUFS"; "-inf" below the measurement's gate, a dash before any measurement.
QString figure(double value, const char* unit)
{
    if (std::isnan(value))
        return QStringLiteral("-");
    if (std::isinf(value))
        return QStringLiteral("-inf %1").arg(unit);
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(unit);
}

} // namespace

void frmNormalize::showLoudness(const audio::LoudnessFigures& f)
{
    lblIntegrated->setText("Loudness: " + figure(f.integratedLufs, "LUFS"));
    lblRange->setText("Loudness range: " + figure(f.rangeLu, "LU"));
    lblTruePeak->setText("True peak: " + figure(f.truePeakDbtp, "dBTP"));
}

void frmNormalize::showOutcome(const audio::NormalizeReport& report, double target)
{
    const audio::LoudnessFigures& before = report.loudness;
    if (!std::isfinite(before.integratedLufs)) {
        lblResult->setText("Too quiet to measure: the file is left as it is.");
        return;
    }
    const double reached = before.integratedLufs + report.gainDb;
    if (report.heldByCeiling) {
        lblResult->setText(QStringLiteral("The gain was lowered to keep the true peak at %1 dBTP: "
                                          "the file reaches %2 LUFS, not %3 LUFS.")
                               .arg(kTruePeakCeiling, 0, 'f', 1)
                               .arg(reached, 0, 'f', 1)
                               .arg(target, 0, 'f', 1));
        return;
    }
    lblResult->setText(QStringLiteral("Normalized to %1 LUFS (gain %2 dB).")
                           .arg(reached, 0, 'f', 1)
                           .arg(report.gainDb, 0, 'f', 1));
}

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
    optMode_Click();
    optPeak->setEnabled(!working);
    optLoudness->setEnabled(!working);
    cmdNormalize->setEnabled(!working);
    cmdClose->setEnabled(!working);
    mnuFiles->setEnabled(!working);
}

void frmNormalize::cmdNormalize_Click()
{
    if (working_)
        return;
    Application& a = app();
    Gauge->setVisible(true);
    const int level = levelPercent(Slider->position());
    toLoudness_ = optLoudness->isChecked();
    targetLufs_ = txtTarget->value();
    const audio::LoudnessTarget loudness{targetLufs_, kTruePeakCeiling};
    closeRequested_ = false;
    setWorking(true);
    lblResult->clear();
    showLoudness({std::nan(""), std::nan(""), std::nan("")});
    outcome_ = std::make_shared<Outcome>();
    if (FileName.isEmpty()) {
        // The program may end while the question is open; then this window is gone.
        QPointer<frmNormalize> self(this);
        const QString chosen = a.prompts().openFileName(this, "Normalize", a.drives().toNative("c:\\Tamblor"),
                                                        "Wave files (*.wav);;All files (*)");
        if (!self)
            return;
        if (chosen.isEmpty()) {
            workEnded(false);
            return;
        }
        FileName = chosen;
    }
    const QString path = FileName;
    const std::shared_ptr<Outcome> outcome = outcome_;
    job_->start([this, path, level, loudness, toLoudness = toLoudness_, outcome](jobs::JobControl& job) {
        // Only the job touches `report` until it has ended.
        audio::NormalizeReport report;
        bool shown = false;
        const auto progress = [&](int percent, int phase, int) {
            // The scan's figures show as soon as the rewrite begins.
            if (phase != 0 && report.scanned && !shown) {
                shown = true;
                job.post([this, figures = report.loudness] { showLoudness(figures); });
            }
            job.progress(percent, phase);
            return !job.cancelled();
        };
        QString name = path;
        outcome->done = toLoudness ? audio::NormalizeToLoudness(name, loudness, progress, {}, &report)
                                   : audio::NormalizeFile(name, level, progress, {}, &report);
        outcome->report = report;
    });
}

void frmNormalize::workEnded(bool done)
{
    setWorking(false);
    Gauge->setValue(0);
    Gauge->setVisible(false);
    if (toLoudness_ && !closeRequested_) {
        // The operator reads what was reached; the window stays, and asks for the next file.
        FileName.clear();
        if (outcome_ && outcome_->report.scanned)
            showLoudness(outcome_->report.loudness);
        if (done)
            showOutcome(outcome_->report, targetLufs_);
        return;
    }
    close();
}

} // namespace tamblor
