#pragma once
// "Wave Form Generator": a test tone on the playback sound card. Five wheels set the frequency
// digit by digit (0 to 29999 Hz) and five LED digits show it; option buttons choose sine,
// square, triangle or noise; a slider sets the level; two meters show the output. Every change
// is heard at once, also while the tone plays.
#include "app/Form.h"
#include "audio/devices/ToneGenerator.h"
#include <array>
#include <memory>

class QLabel;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tamblor {

namespace audio {
class LedDigit;
class LevelMeter;
class LevelScale;
class OutputDevice;
class Slider;
class Wheel;
} // namespace audio

class frmWaveGen : public Form {
    Q_OBJECT
public:
    static constexpr int kWheels = 5;
    static constexpr int kLoadLevel = 9210;
    // Tones at or above half the sample rate cannot be played at 44100 samples per second;
    // the generator keeps them silent and the window says so.
    static constexpr int kHighestTone = audio::ToneGenerator::SampleRate / 2 - 1;

    explicit frmWaveGen(Application& app);
    ~frmWaveGen() override;

    // The frequency the wheels compose: wheel i counts 10 to the power i.
    int composedFrequency() const;
    const audio::ToneGenerator& generator() const { return *Generator; }
    audio::OutputDevice& output() const { return *WaveOut; }

    void MMWheelX1_Change(int index);
    void Option1_Click(int index);
    void Slider_Change(int position);
    void Label1_DblClick();
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdClose_Click();
    void mnuExit_Click();
    // Hands the output's latest peaks to the meters; a timer runs it while the window is open.
    void MMConnectorX1_Feed();

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showRangeNote();

    // The output goes before the generator it plays.
    std::unique_ptr<audio::ToneGenerator> Generator;
    std::unique_ptr<audio::OutputDevice> WaveOut;
    QMenuBar* menuBar;
    std::array<audio::Wheel*, kWheels> MMWheelX1{};
    std::array<audio::LedDigit*, kWheels> MMLEDDigitX1{};
    std::array<QRadioButton*, 4> Option1{};
    audio::Slider* Slider;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* lblRange;
    audio::LevelScale* MMLevelScaleX1;
    audio::LevelMeter* MMLevelX1;
    audio::LevelMeter* MMLevelX2;
    QTimer* MMConnectorX1;
    QPushButton* cmdStart;
    QPushButton* cmdStop;
    QPushButton* cmdClose;
};

} // namespace tamblor
