// The tone generator window: frequency from the wheels, wave forms, level, and what the
// playback device is given, stepped through the virtual backend.
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/LayoutCheck.h"
#include "tests/support/AppFixture.h"
#include "tools/frmWaveGen.h"
#include "audio/devices/OutputDevice.h"
#include "audio/devices/VirtualBackend.h"
#include "audio/widgets/LedDigit.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LevelScale.h"
#include "audio/widgets/Slider.h"
#include "audio/widgets/Wheel.h"
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>

using namespace tamblor;
using namespace tamblor::audio::measure;

class WaveGenWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        app->windows().registerWindow(WindowName::frmWaveGen, [](Application& a) { return new frmWaveGen(a); });
        ASSERT_TRUE(app->start());
        win = app->windows().show<frmWaveGen>(WindowName::frmWaveGen);
        ASSERT_TRUE(win);
        backend = dynamic_cast<audio::VirtualBackend*>(&app->audio());
        ASSERT_TRUE(backend);
    }
    audio::Wheel* wheel(int i) { return win->findChild<audio::Wheel*>(QString("MMWheelX1_%1").arg(i)); }
    audio::LedDigit* led(int i) { return win->findChild<audio::LedDigit*>(QString("MMLEDDigitX1_%1").arg(i)); }
    QRadioButton* option(int i) { return win->findChild<QRadioButton*>(QString("Option1_%1").arg(i)); }
    QPushButton* button(const char* name) { return win->findChild<QPushButton*>(name); }
    audio::Slider* slider() { return win->findChild<audio::Slider*>("Slider"); }
    QLabel* label(const char* name) { return win->findChild<QLabel*>(name); }
    // Sets the wheels, ten-thousands first.
    void setWheels(std::array<int, 5> fromTop)
    {
        for (int i = 0; i < 5; ++i)
            wheel(4 - i)->setValue(fromTop[i]);
    }
    std::array<int, 5> leds()
    {
        std::array<int, 5> v{};
        for (int i = 0; i < 5; ++i)
            v[i] = led(4 - i)->value();
        return v;
    }
    // Plays one second and returns the left channel of it.
    std::vector<int16_t> playSecond()
    {
        backend->clearOutput();
        backend->advance(44100);
        const std::vector<int16_t> out = backend->outputSamples();
        EXPECT_EQ(channel(out, 2, 0), channel(out, 2, 1));
        return channel(out, 2, 0);
    }

    QPointer<frmWaveGen> win;
    audio::VirtualBackend* backend = nullptr;
};

TEST_F(WaveGenWindowTest, OpensWithA1000HzSineAtLevel9210)
{
    EXPECT_EQ(win->windowTitle(), "Wave Form Generator");
    EXPECT_EQ(leds(), (std::array<int, 5>{0, 1, 0, 0, 0}));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(wheel(i)->value(), i == 3 ? 1 : 0) << i;
        EXPECT_EQ(wheel(i)->maxValue(), i == 4 ? 2 : 9) << i;
        EXPECT_EQ(led(i)->ledColor(), QColor(Qt::red)) << i;
    }
    const char* captions[] = {"Sine", "Square", "Triangle", "Noise"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(option(i)->text(), captions[i]);
        EXPECT_EQ(option(i)->isChecked(), i == 0);
    }
    EXPECT_EQ(slider()->maxValue(), 16384);
    EXPECT_EQ(slider()->position(), 9210);
    EXPECT_EQ(label("Label1")->text(), "-5.0 dB");
    EXPECT_EQ(button("cmdStart")->text(), "&Start");
    EXPECT_EQ(button("cmdStop")->text(), "Sto&p");
    EXPECT_EQ(button("cmdClose")->text(), "&Close");
    EXPECT_EQ(win->findChild<QAction*>("mnuExit")->text(), "Exit");
    EXPECT_EQ(win->generator().frequency(), 1000.0);
    EXPECT_EQ(win->generator().waveForm(), 0);
    EXPECT_EQ(win->generator().amplitude(), 9210);
    EXPECT_TRUE(label("lblRange")->isHidden());
    EXPECT_FALSE(win->output().isPlaying());
}

TEST_F(WaveGenWindowTest, WheelsComposeTheFrequencyDigitByDigit)
{
    setWheels({2, 9, 9, 9, 9});
    EXPECT_EQ(win->composedFrequency(), 29999);
    EXPECT_EQ(win->generator().frequency(), 29999.0);
    EXPECT_EQ(leds(), (std::array<int, 5>{2, 9, 9, 9, 9}));
    wheel(4)->setValue(7); // the ten-thousands stop at 2
    EXPECT_EQ(wheel(4)->value(), 2);

    setWheels({0, 0, 0, 0, 0});
    EXPECT_EQ(win->generator().frequency(), 0.0);
    EXPECT_EQ(leds(), (std::array<int, 5>{0, 0, 0, 0, 0}));

    // From the load state, the operator turns the units wheel up five notches.
    setWheels({0, 1, 0, 0, 0});
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(wheel(0), Qt::Key_Up);
    EXPECT_EQ(win->generator().frequency(), 1005.0);
    EXPECT_EQ(led(0)->value(), 5);
    EXPECT_EQ(leds(), (std::array<int, 5>{0, 1, 0, 0, 5}));
}

TEST_F(WaveGenWindowTest, OptionButtonsHandTheGeneratorItsWaveFormCode)
{
    const int codes[] = {0, 1, 2, 5}; // noise is 5, not 3
    for (int i : {3, 1, 2, 0, 3}) {
        QTest::mouseClick(option(i), Qt::LeftButton);
        EXPECT_TRUE(option(i)->isChecked());
        EXPECT_EQ(win->generator().waveForm(), codes[i]) << i;
    }
    // Selected by the program, the handler runs as well.
    option(1)->setChecked(true);
    EXPECT_EQ(win->generator().waveForm(), 1);
}

TEST_F(WaveGenWindowTest, LevelFollowsTheSliderAndADoubleClickOnItsLabelResetsIt)
{
    slider()->setPosition(16384);
    EXPECT_EQ(win->generator().amplitude(), 16384);
    EXPECT_EQ(label("Label1")->text(), "0.0 dB");
    slider()->setPosition(2000);
    EXPECT_EQ(win->generator().amplitude(), 2000);
    EXPECT_EQ(label("Label1")->text(), "-18.3 dB");

    QTest::mouseClick(label("Label1"), Qt::LeftButton); // a single click does nothing
    EXPECT_EQ(slider()->position(), 2000);
    QTest::mouseDClick(label("Label1"), Qt::LeftButton);
    EXPECT_EQ(slider()->position(), 9210);
    EXPECT_EQ(win->generator().amplitude(), 9210);
    EXPECT_EQ(label("Label1")->text(), "-5.0 dB");
}

TEST_F(WaveGenWindowTest, PlaysTheSetToneAndHearsEveryChangeAtOnce)
{
    button("cmdStart")->click();
    ASSERT_TRUE(win->output().isPlaying());
    EXPECT_EQ(backend->outputFormat().sampleRate, 44100);
    EXPECT_EQ(backend->outputFormat().channels, 2);

    std::vector<int16_t> s = playSecond();
    EXPECT_NEAR(frequencyOf(s, 44100), 1000.0, 0.5);
    EXPECT_NEAR(peakOf(s), 9210.0 * 32767 / 16384, 2);
    EXPECT_NEAR(meanMagnitude(s) / peakOf(s), 2 / M_PI, 0.01);

    // The meters: left and right of what the device was given.
    win->MMConnectorX1_Feed();
    EXPECT_NEAR(win->findChild<audio::LevelMeter*>("MMLevelX1")->value(), peakOf(s), 2);
    EXPECT_NEAR(win->findChild<audio::LevelMeter*>("MMLevelX2")->value(), peakOf(s), 2);

    QTest::keyClick(wheel(0), Qt::Key_Up);
    QTest::keyClick(wheel(0), Qt::Key_Up);
    button("cmdStart")->click(); // pressed again while playing: plays on, on the same device
    EXPECT_EQ(backend->openStreamCount(), 1);
    s = playSecond();
    EXPECT_NEAR(frequencyOf(s, 44100), 1002.0, 0.5);

    setWheels({0, 0, 4, 4, 1}); // 441 Hz: a whole number of samples per period
    QTest::mouseClick(option(1), Qt::LeftButton);
    s = playSecond();
    EXPECT_NEAR(frequencyOf(s, 44100), 441.0, 0.5);
    EXPECT_NEAR(meanMagnitude(s) / peakOf(s), 1.0, 0.01); // square

    slider()->setPosition(16384);
    EXPECT_NEAR(peakOf(playSecond()), 32767, 2);
    // (The other forms' shapes are the generator's own tests'.)

    // Stop ends the output and gives the device back.
    button("cmdStop")->click();
    EXPECT_FALSE(win->output().isPlaying());
    EXPECT_EQ(backend->openStreamCount(), 0);
    EXPECT_TRUE(playSecond().empty());
    win->MMConnectorX1_Feed();
    EXPECT_EQ(win->findChild<audio::LevelMeter*>("MMLevelX1")->value(), 0);

    // Start again: the wheels decide the frequency.
    QTest::mouseClick(option(0), Qt::LeftButton);
    button("cmdStart")->click();
    EXPECT_NEAR(frequencyOf(playSecond(), 44100), 441.0, 0.5);
}

TEST_F(WaveGenWindowTest, TonesAboveHalfTheSampleRateAreSilentAndTheWindowSaysSo)
{
    auto* note = label("lblRange");
    button("cmdStart")->click();

    setWheels({2, 2, 0, 4, 9});
    EXPECT_TRUE(note->isHidden());
    EXPECT_GT(peakOf(playSecond()), 9000);

    setWheels({2, 2, 0, 5, 0});
    EXPECT_FALSE(note->isHidden());
    EXPECT_EQ(note->text(), "No tone above 22049 Hz");
    EXPECT_EQ(peakOf(playSecond()), 0);

    setWheels({2, 9, 9, 9, 9});
    for (int i : {1, 2}) {
        QTest::mouseClick(option(i), Qt::LeftButton);
        EXPECT_FALSE(note->isHidden());
        EXPECT_EQ(peakOf(playSecond()), 0);
    }
    // Noise has no frequency of its own: it plays and the note goes.
    QTest::mouseClick(option(3), Qt::LeftButton);
    EXPECT_TRUE(note->isHidden());
    EXPECT_GT(peakOf(playSecond()), 9000);
    QTest::mouseClick(option(0), Qt::LeftButton);
    EXPECT_FALSE(note->isHidden());

    setWheels({0, 1, 0, 0, 0});
    EXPECT_TRUE(note->isHidden());
    EXPECT_NEAR(frequencyOf(playSecond(), 44100), 1000.0, 0.5);
}

TEST_F(WaveGenWindowTest, ClosingTheWindowStopsTheTone)
{
    button("cmdStart")->click();
    ASSERT_FALSE(playSecond().empty());
    button("cmdClose")->click();
    EXPECT_TRUE(playSecond().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(win);
    EXPECT_EQ(backend->openStreamCount(), 0);

    // Reopened, it starts from the load values again; Exit closes it the same way.
    win = app->windows().show<frmWaveGen>(WindowName::frmWaveGen);
    EXPECT_EQ(leds(), (std::array<int, 5>{0, 1, 0, 0, 0}));
    button("cmdStart")->click();
    win->findChild<QAction*>("mnuExit")->trigger();
    EXPECT_TRUE(playSecond().empty());
}

TEST_F(WaveGenWindowTest, APlayDeviceThatCannotOpenIsReported)
{
    button("cmdClose")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state().PlayDevice = 3; // the virtual backend has one output device
    win = app->windows().show<frmWaveGen>(WindowName::frmWaveGen);
    button("cmdStart")->click();
    EXPECT_FALSE(win->output().isPlaying());
    EXPECT_TRUE(app->messageText().startsWith("68 ")) << app->messageText().toStdString();
}

TEST_F(WaveGenWindowTest, MetersFallBackOnTheProgramClockAndKeepTheClipLight)
{
    // A full-scale square wave, then nothing: the meters hold, fall back and keep the clip light.
    app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51)));
    auto* left = win->findChild<audio::LevelMeter*>("MMLevelX1");
    auto* right = win->findChild<audio::LevelMeter*>("MMLevelX2");
    QTest::mouseClick(option(1), Qt::LeftButton);
    slider()->setPosition(16384);
    button("cmdStart")->click();
    playSecond();
    win->MMConnectorX1_Feed();
    for (audio::LevelMeter* m : {left, right}) {
        EXPECT_NEAR(m->displayDb(), 0.0, 0.01);
        EXPECT_TRUE(m->isClipped());
    }
    button("cmdStop")->click();
    app->clock().advance(1700);
    EXPECT_NEAR(left->displayDb(), -20.0, 0.01);
    EXPECT_NEAR(left->peakHoldDb(), 0.0, 0.01);
    // A picture for a person: bar at -20 dB, hold mark and clip light at the top.
    EXPECT_TRUE(layoutcheck::saveScreenshot(win, "generator-meters"));
    app->clock().advance(10000);
    EXPECT_EQ(right->displayDb(), audio::kMeterFloorDb);
    EXPECT_TRUE(right->isClipped());
    QTest::mouseClick(right, Qt::LeftButton);
    EXPECT_FALSE(right->isClipped());
    EXPECT_TRUE(left->isClipped());
}
