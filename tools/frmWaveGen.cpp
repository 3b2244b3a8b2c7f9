#include "tools/frmWaveGen.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "audio/devices/OutputDevice.h"
#include "audio/files/FormatText.h"
#include "audio/widgets/LedDigit.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LevelScale.h"
#include "audio/widgets/Slider.h"
#include "audio/widgets/Wheel.h"
#include "platform/Failure.h"
#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tamblor {

namespace {
constexpr int kFullScale = 16384;
// Wave form code of each option button: sine, square, triangle, noise.
constexpr int kWaveCodes[4] = {audio::ToneGenerator::Sine, audio::ToneGenerator::Square,
                               audio::ToneGenerator::Triangle, audio::ToneGenerator::Noise};
} // namespace

frmWaveGen::frmWaveGen(Application& app)
    : Form(app, WindowName::frmWaveGen),
      Generator(std::make_unique<audio::ToneGenerator>()),
      WaveOut(std::make_unique<audio::OutputDevice>(app.audio(), *Generator))
{
    setWindowTitle("Wave Form Generator");
    WaveOut->setObjectName("WaveOut");
    Generator->setFrequency(1000.0);
    Generator->setAmplitude(11600);

    const FilesMenuBar menus = addFilesMenuBar();
    menuBar = menus.bar;
    connect(menus.exit, &QAction::triggered, this, &frmWaveGen::mnuExit_Click);

    // Digits and wheels, the ten-thousands on the left.
    auto* digits = new QGridLayout;
    digits->setHorizontalSpacing(6);
    for (int i = 0; i < kWheels; ++i) {
        const int column = kWheels - 1 - i;
        auto* led = controls::named(new audio::LedDigit(this), QString("MMLEDDigitX1_%1").arg(i));
        led->setLedColor(Qt::red);
        led->setMinimumSize(26, 44);
        MMLEDDigitX1[i] = led;
        digits->addWidget(led, 0, column, Qt::AlignHCenter);

        auto* wheel = controls::named(new audio::Wheel(this), QString("MMWheelX1_%1").arg(i));
        wheel->setMaxValue(i == kWheels - 1 ? 2 : 9);
        wheel->setRadius(12);
        wheel->setToolTip(QString("Turn to set the %1").arg(
            QStringList{"units", "tens", "hundreds", "thousands", "ten-thousands"}[i]));
        MMWheelX1[i] = wheel;
        digits->addWidget(wheel, 1, column, Qt::AlignHCenter);
        connect(wheel, &audio::Wheel::valueChanged, this, [this, i] { MMWheelX1_Change(i); });
    }
    Label2 = controls::label(this, "Label2", "Hz");
    digits->addWidget(Label2, 0, kWheels, Qt::AlignLeft | Qt::AlignBottom);
    digits->setColumnStretch(kWheels, 1);

    lblRange = controls::label(this, "lblRange", QString("No tone above %1 Hz").arg(kHighestTone));
    lblRange->setStyleSheet("color: #a00000");
    lblRange->setVisible(false);

    auto* forms = controls::frame(this, "fraWaveForm", "Wave Form");
    auto* formsLayout = new QHBoxLayout(forms);
    auto* group = new QButtonGroup(this);
    const char* captions[4] = {"Sine", "Square", "Triangle", "Noise"};
    for (int i = 0; i < 4; ++i) {
        auto* option = controls::option(forms, QString("Option1_%1").arg(i), captions[i]);
        group->addButton(option, i);
        formsLayout->addWidget(option);
        Option1[i] = option;
        // Selected by a click, the arrow keys or the program alike.
        connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Option1_Click(i);
        });
    }

    Slider = controls::named(new audio::Slider(Qt::Horizontal, this), "Slider");
    Slider->setMaxValue(kFullScale);
    Slider->setMinimumWidth(200);
    Slider->setToolTip("Output level");
    connect(Slider, &audio::Slider::positionChanged, this, &frmWaveGen::Slider_Change);
    Label1 = controls::label(this, "Label1");
    Label1->setMinimumWidth(Label1->fontMetrics().horizontalAdvance("-inf dB") + 16);
    Label1->setToolTip("Double click to reset the level");
    Label1->installEventFilter(this);

    MMLevelScaleX1 = controls::named(new audio::LevelScale(Qt::Vertical, this), "MMLevelScaleX1");
    MMLevelX1 = controls::named(new audio::LevelMeter(Qt::Vertical, this), "MMLevelX1");
    MMLevelX1->setToolTip("Left");
    MMLevelX2 = controls::named(new audio::LevelMeter(Qt::Vertical, this), "MMLevelX2");
    MMLevelX2->setToolTip("Right");
    // The meters keep their width when the window is made small.
    for (audio::LevelMeter* m : {MMLevelX1, MMLevelX2})
        m->setMinimumSize(m->sizeHint().width(), 60);
    for (audio::LevelMeter* meter : {MMLevelX1, MMLevelX2})
        meter->setTimeSource([&clock = app.clock()] { return clock.steadyMs(); });
    MMConnectorX1 = controls::named(new QTimer(this), "MMConnectorX1");
    MMConnectorX1->setInterval(audio::LevelMeter::kTickMs);
    connect(MMConnectorX1, &QTimer::timeout, this, &frmWaveGen::MMConnectorX1_Feed);

    cmdStart = controls::button(this, "cmdStart", "&Start");
    connect(cmdStart, &QPushButton::clicked, this, &frmWaveGen::cmdStart_Click);
    cmdStop = controls::button(this, "cmdStop", "Sto&p");
    connect(cmdStop, &QPushButton::clicked, this, &frmWaveGen::cmdStop_Click);
    cmdClose = controls::button(this, "cmdClose", "&Close");
    connect(cmdClose, &QPushButton::clicked, this, &frmWaveGen::cmdClose_Click);

    auto* level = new QHBoxLayout;
    level->addWidget(Slider, 1);
    level->addWidget(Label1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdStart);
    buttons->addWidget(cmdStop);
    buttons->addStretch();
    buttons->addWidget(cmdClose);

    auto* left = new QVBoxLayout;
    left->addLayout(digits);
    left->addWidget(lblRange);
    left->addWidget(forms);
    left->addLayout(level);
    left->addStretch();
    auto* meters = new QHBoxLayout;
    meters->setSpacing(2);
    meters->addWidget(MMLevelScaleX1);
    meters->addWidget(MMLevelX1);
    meters->addWidget(MMLevelX2);
    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addSpacing(12);
    top->addLayout(meters);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    layout->setContentsMargins(12, 12, 12, 12);
}

frmWaveGen::~frmWaveGen() = default;

void frmWaveGen::Form_Load()
{
    WaveOut->setDeviceId(app().state().PlayDevice);
    Generator->setFrequency(1000.0);
    Generator->setWaveForm(audio::ToneGenerator::Sine);
    MMLEDDigitX1[3]->setValue(1);
    Option1[0]->setChecked(true); // runs the option handler
    Slider->setPosition(kLoadLevel);
    Generator->setAmplitude(kLoadLevel);
    MMWheelX1[3]->setValue(1);
    MMConnectorX1->start();
}

void frmWaveGen::Form_Unload(bool&)
{
    WaveOut->stop();
    MMConnectorX1->stop();
}

int frmWaveGen::composedFrequency() const
{
    int hertz = 0;
    int power = 1;
    for (int i = 0; i < kWheels; ++i, power *= 10)
        hertz = MMWheelX1[i]->value() * power + hertz;
    return hertz;
}

void frmWaveGen::MMWheelX1_Change(int index)
{
    MMLEDDigitX1[index]->setValue(MMWheelX1[index]->value());
    Generator->setFrequency(double(composedFrequency()));
    showRangeNote();
}

void frmWaveGen::Option1_Click(int index)
{
    Generator->setWaveForm(kWaveCodes[index]);
    showRangeNote();
}

void frmWaveGen::Slider_Change(int position)
{
    Generator->setAmplitude(position);
    Label1->setText(audio::decibelText(position, kFullScale, 2));
}

void frmWaveGen::Label1_DblClick() { Slider->setPosition(kLoadLevel); }

void frmWaveGen::cmdStart_Click()
{
    Generator->setFrequency(double(composedFrequency()));
    try {
        WaveOut->start();
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

void frmWaveGen::cmdStop_Click()
{
    WaveOut->stop();
    WaveOut->release();
}

void frmWaveGen::cmdClose_Click() { close(); }
void frmWaveGen::mnuExit_Click() { close(); }

void frmWaveGen::MMConnectorX1_Feed()
{
    const audio::PeakLevels peaks = WaveOut->levels();
    MMLevelX1->setValue(peaks.left);
    MMLevelX2->setValue(peaks.right);
}

void frmWaveGen::showRangeNote()
{
    // Sine, square and triangle at or above half the sample rate stay silent; noise has no
    // frequency of its own.
    const bool silent = Generator->waveForm() != audio::ToneGenerator::Noise && composedFrequency() > kHighestTone;
    lblRange->setVisible(silent);
}

bool frmWaveGen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonDblClick) {
        Label1_DblClick();
        return true;
    }
    return Form::eventFilter(watched, event);
}

} // namespace tamblor
