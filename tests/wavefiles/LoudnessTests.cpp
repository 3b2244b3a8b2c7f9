// The live loudness meter and the silence alarm in the library window, on the stepped virtual
// card: EBU signals on the input while a take is armed or written and on the output while a
// slot plays, read from the panel's figures; dead air raised on the exact frame, shown in the
// red band and the message window, its command started once, cleared by five seconds of sound,
// the take going on throughout.
#include "LibraryWindowFixture.h"
#include "core/ProgramSettings.h"
#include "audio/devices/ToneGenerator.h"
#include "audio/widgets/LoudnessPanel.h"
#include "platform/ProgramStarter.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/LayoutCheck.h"
#include <QDir>
#include <algorithm>
#include <QPushButton>
#include <cmath>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

constexpr int kRate = 44100;

// The peak amplitude of a sine at `dbfs`.
int amplitudeOf(double dbfs) { return int(std::lround(32767.0 * std::pow(10.0, dbfs / 20.0))); }

// A programme of parts, each `frames` long: a 1 kHz sine of `amplitude` (0: digital silence),
// or with `hiss` a steady level of that amplitude whose sign alternates (a quiet noise floor).
struct Part {
    uint64_t frames;
    int amplitude;
    bool hiss = false;
};
VirtualSignal programme(std::vector<Part> parts)
{
    return [parts](int16_t* out, size_t frames, int channels, int sampleRate, uint64_t first) {
        for (size_t i = 0; i < frames; ++i) {
            uint64_t at = first + i;
            int16_t v = 0;
            for (const Part& p : parts) {
                if (at < p.frames) {
                    if (p.hiss)
                        v = int16_t(at % 2 ? p.amplitude : -p.amplitude);
                    else
                        v = int16_t(std::lround(p.amplitude * std::sin(2 * M_PI * 1000.0 * double(at) / sampleRate)));
                    break;
                }
                at -= p.frames;
            }
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = v;
        }
    };
}

class LoudnessTest : public LibraryWindowTest {
protected:
    // 44100 per second, stereo, record level 0 dB, the given start mode (0 writes at once,
    // 2 arms first).
    void openWithStartMode(int16_t startMode)
    {
        writeSettings({{3, 3}, {5, 1}, {6, startMode}, {11, 16384}});
        open();
    }
    // Runs the input `frames` further in steps of at most half a second, ticking the window
    // after each as its timer does.
    void record(uint64_t frames)
    {
        while (frames > 0) {
            const uint64_t step = std::min<uint64_t>(frames, kRate / 2);
            feed(step);
            tick();
            frames -= step;
            fed += step;
        }
    }
    LoudnessPanel& panel() { return *w->Loudness1; }
    uint64_t fed = 0; // frames run by record()
    ProgrammeWatch& watch() { return studio->watch(); }
    void screenshot(const char* name) { EXPECT_TRUE(layoutcheck::saveScreenshot(w, name)); }
};

} // namespace

TEST_F(LoudnessTest, TheInputIsMeteredWhileArmedAndAToneSwitchedOnForThreeSecondsReadsItsLevel)
{
    openWithStartMode(2);
    EXPECT_EQ(panel().lblShortTerm->text(), "S --.-");
    EXPECT_EQ(panel().lblIntegrated->text(), "I --.- LUFS");
    // One second of digital silence, then the EBU's 1 kHz tone at -23 dBFS for 3 s, then silence.
    backend().setInputSignal(programme({{kRate, 0}, {3 * kRate, amplitudeOf(-23)}, {10 * kRate, 0}}));
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().state(), RecordingSession::State::Armed);
    EXPECT_EQ(watch().source(), ProgrammeWatch::Source::Input);

    // The meter is fed on the window's ticks, not by the device: fed input waits for a tick.
    feed(kRate);
    EXPECT_EQ(watch().reading().seconds, 0.0);
    tick();
    EXPECT_NEAR(watch().reading().seconds, 1.0, 0.03);

    // The tone ends on a 100 ms step; the worker hands on whole buffers of 1024 frames, so
    // feeding one buffer more reaches the end without completing the step after it.
    record(3 * kRate + 1024);
    const LoudnessReading end = watch().reading();
    EXPECT_NEAR(end.shortTermLufs, -23.0, 0.05);
    EXPECT_NEAR(end.momentaryLufs, -23.0, 0.05);
    EXPECT_NEAR(end.maxShortTermLufs, -23.0, 0.05);
    // The integrated loudness counts the 400 ms blocks that reach into the silence either side.
    EXPECT_NEAR(end.integratedLufs, -23.2, 0.05);
    EXPECT_EQ(panel().lblShortTerm->text(), "S -23.0");
    EXPECT_EQ(panel().lblMomentary->text(), "M -23.0");
    EXPECT_EQ(panel().lblIntegrated->text(), "I -23.2 LUFS");
    EXPECT_EQ(panel().lblMaxShortTerm->text(), "Max S -23.0");
    EXPECT_EQ(panel().lblCovered->text(), "over 00:04");
    EXPECT_NEAR(panel().bars->shortTerm(), -23.0, 0.05);
    EXPECT_FALSE(panel().isOverCeiling()); // -23 dBFS is far below -1 dBTP

    // Silence afterwards: the bars fall, the maxima and the integrated loudness stay.
    record(4 * kRate);
    EXPECT_LT(watch().reading().shortTermLufs, -70.0);
    EXPECT_LT(panel().bars->shortTerm(), panel().bars->bottomLufs());
    EXPECT_EQ(panel().lblMaxShortTerm->text(), "Max S -23.0");
    EXPECT_EQ(panel().lblIntegrated->text(), "I -23.4 LUFS"); // more blocks reaching into the silence

    // Reset starts the figures afresh; the maxima go too.
    click(panel().cmdReset);
    EXPECT_EQ(panel().lblMaxShortTerm->text(), "Max S --.-");
    EXPECT_EQ(panel().lblIntegrated->text(), "I --.- LUFS");
    EXPECT_EQ(panel().lblCovered->text(), "over 00:00");

    // Stopping leaves the last figures to be read, with the bars down.
    record(kRate);
    click(w->cmdStop);
    EXPECT_EQ(watch().source(), ProgrammeWatch::Source::None);
    EXPECT_EQ(panel().lblCovered->text(), "over 00:01");
    EXPECT_EQ(panel().lblIntegrated->text(), "I --.- LUFS"); // silence only
    EXPECT_EQ(panel().lblMomentary->text(), "M --.-");
}

TEST_F(LoudnessTest, TheToneGeneratorsSineAtMinus18DbfsReadsMinus18LufsAndAFullScaleToneLightsTheCeiling)
{
    openWithStartMode(2);
    // The generator's 1 kHz sine with its level at -18 dBFS, both channels, played into the input.
    auto generator = std::make_shared<ToneGenerator>();
    generator->setAmplitude(int(std::lround(ToneGenerator::FullScale * std::pow(10.0, -18.0 / 20.0))));
    backend().setInputSignal([generator](int16_t* out, size_t frames, int channels, int, uint64_t) {
        std::vector<int16_t> stereo(frames * 2);
        generator->render(stereo.data(), frames);
        for (size_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = stereo[2 * i + size_t(c % 2)];
    });
    click(w->cmdRecord);
    record(5 * kRate);
    const LoudnessReading r = watch().reading();
    EXPECT_NEAR(r.momentaryLufs, -18.0, 0.05);
    EXPECT_NEAR(r.shortTermLufs, -18.0, 0.05);
    EXPECT_NEAR(r.integratedLufs, -18.0, 0.05);
    EXPECT_NEAR(r.rangeLu, 0.0, 0.05);
    EXPECT_NEAR(r.truePeakDbtp, -18.0, 0.1);
    EXPECT_EQ(panel().lblShortTerm->text(), "S -18.0");
    EXPECT_EQ(panel().lblTruePeak->text(), "TP -18.0 dBTP");
    EXPECT_FALSE(panel().isOverCeiling());
    const QColor off = panel().ledTruePeak->palette().color(QPalette::Window);

    // At full scale the true peak passes the -1 dBTP ceiling: the light goes on and stays on.
    generator->setAmplitude(ToneGenerator::FullScale);
    record(kRate);
    EXPECT_TRUE(panel().isOverCeiling());
    EXPECT_EQ(panel().ledTruePeak->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_NE(off, QColor(255, 0, 0));
    generator->setAmplitude(0);
    record(kRate);
    EXPECT_TRUE(panel().isOverCeiling());
    screenshot("library-loudness");
    click(panel().cmdReset);
    EXPECT_FALSE(panel().isOverCeiling());
    click(w->cmdStop);
}

TEST_F(LoudnessTest, TheOutputIsMeteredWhileASlotPlaysOnTheScaleAndCeilingOfThePreferences)
{
    writeIndex({rec("1", "tone", "6")});
    std::vector<int16_t> samples(size_t(6 * kRate) * 2);
    for (size_t i = 0; i < samples.size() / 2; ++i)
        samples[2 * i] = samples[2 * i + 1] =
            int16_t(std::lround(amplitudeOf(-18) * std::sin(2 * M_PI * 1000.0 * double(i) / kRate)));
    QDir().mkpath(native("C/Tamblor"));
    measure::writeWav(slotFile(1), kRate, 2, samples);
    LoudnessPreferences p;
    p.meterScale = 18;
    p.truePeakCeilingDbtp = -20.0;
    ProgramSettings(app->drives()).setLoudness(p);
    open();
    EXPECT_EQ(panel().bars->scale(), 18);
    EXPECT_EQ(panel().bars->bottomLufs(), -59.0);
    EXPECT_EQ(panel().bars->topLufs(), -5.0);
    EXPECT_EQ(panel().ceiling(), -20.0);

    clickSlot(1);
    click(w->cmdPlay);
    ASSERT_TRUE(studio->playback().isPlaying());
    EXPECT_EQ(watch().source(), ProgrammeWatch::Source::Output);
    for (int i = 0; i < 8; ++i) {
        backend().advanceMs(500);
        w->WavePlayer().waitIdle();
        tick();
    }
    const LoudnessReading r = watch().reading();
    EXPECT_NEAR(r.shortTermLufs, -18.0, 0.05);
    EXPECT_NEAR(r.integratedLufs, -18.0, 0.05);
    EXPECT_EQ(panel().lblShortTerm->text(), "S -18.0");
    EXPECT_TRUE(panel().isOverCeiling()); // -18 dBTP is above the ceiling of -20

    // Paused: the bars fall, the figures stay; playing on, the bars are back.
    click(w->cmdPause);
    tick();
    EXPECT_EQ(panel().lblShortTerm->text(), "S --.-");
    EXPECT_EQ(panel().lblIntegrated->text(), "I -18.0 LUFS");
    click(w->cmdPlay);
    backend().advanceMs(500);
    w->WavePlayer().waitIdle();
    tick();
    EXPECT_EQ(panel().lblShortTerm->text(), "S -18.0");

    // A change of the preferences reaches the open window.
    p.meterScale = 9;
    p.truePeakCeilingDbtp = -1.0;
    ProgramSettings(app->drives()).setLoudness(p);
    emit app->settingsApplied();
    EXPECT_EQ(panel().bars->scale(), 9);
    EXPECT_FALSE(panel().isOverCeiling());
    click(w->cmdStop);
}

TEST_F(LoudnessTest, DeadAirOnATakeRaisesTheAlarmOnTheSetFrameRunsTheCommandOnceAndNeverStopsTheTake)
{
    LoudnessPreferences p;
    p.silenceCommand = "notify-studio \"on air\"";
    p.silenceSeconds = 20;
    p.silenceThresholdDbfs = -40;
    QDir().mkpath(native("C/Tamblor"));
    ProgramSettings(app->drives()).setLoudness(p);
    openWithStartMode(0); // a press writes at once
    RecordingStarter starter;
    watch().alarm().setStarter(starter);

    // Two seconds of sound, 30 s of hiss at -50.3 dBFS (below -40), then sound again.
    const uint64_t silenceFrom = 2 * kRate;
    const uint64_t soundFrom = silenceFrom + 30 * kRate;
    backend().setInputSignal(programme({{silenceFrom, 10000}, {30 * kRate, 100, true}, {60 * kRate, 10000}}));
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().state(), RecordingSession::State::Writing);
    const int slot = studio->recording().slot();
    const uint64_t raiseAt = silenceFrom + 20 * kRate;

    // Up to the last whole buffer before the twentieth second of the silence: no alarm.
    record(raiseAt / 1024 * 1024);
    EXPECT_FALSE(watch().alarm().isRaised());
    EXPECT_FALSE(w->lblSilence->isVisible());
    EXPECT_TRUE(starter.started.empty());
    // The buffer that holds it: raised on exactly that frame.
    record(1024);
    ASSERT_TRUE(watch().alarm().isRaised());
    EXPECT_EQ(watch().alarm().raisedAtFrame(), int64_t(raiseAt));
    EXPECT_TRUE(w->lblSilence->isVisible());
    EXPECT_EQ(w->lblSilence->text(), QStringLiteral("SILENCE  00:20   slot %1   level -50.3 dBFS").arg(slot));
    EXPECT_EQ(w->lblSilence->palette().color(QPalette::Window), QColor(220, 0, 0));
    EXPECT_EQ(app->messageText(),
              QStringLiteral("Silence on slot %1 (C:\\Tamblor\\SF%2.wav): below -40.0 dBFS for 20 seconds, level "
                             "-50.3 dBFS.")
                  .arg(slot)
                  .arg(slot, 4, 10, QLatin1Char('0')));
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].program, "notify-studio");
    EXPECT_EQ(starter.started[0].arguments, QStringList({"on air", QString::number(slot), slotFile(slot), "-50.3"}));
    EXPECT_EQ(studio->recording().state(), RecordingSession::State::Writing);

    // The band counts on while the silence lasts; the command is not started again.
    record(5 * kRate);
    EXPECT_EQ(w->lblSilence->text(), QStringLiteral("SILENCE  00:25   slot %1   level -50.3 dBFS").arg(slot));
    screenshot("library-silence");
    record(soundFrom - raiseAt - 5 * kRate); // the silence's end, give or take a buffer
    // Sound for a little less than 5 s does not clear it; 5 s does.
    record(5 * kRate - 4096);
    EXPECT_TRUE(watch().alarm().isRaised());
    EXPECT_TRUE(w->lblSilence->isVisible());
    EXPECT_EQ(w->lblSilence->text().toStdString(),
              QStringLiteral("SILENCE  00:30   slot %1   level -50.3 dBFS").arg(slot).toStdString());
    record(8192);
    EXPECT_FALSE(watch().alarm().isRaised());
    EXPECT_FALSE(w->lblSilence->isVisible());
    EXPECT_EQ(starter.started.size(), 1u);

    // The take went on throughout and holds every frame.
    EXPECT_EQ(studio->recording().state(), RecordingSession::State::Writing);
    click(w->cmdStop);
    EXPECT_EQ(measure::readWav(slotFile(slot)).samples.size(), 2 * size_t(fed));
}

TEST_F(LoudnessTest, DeadAirOnAPlayingSlotRaisesTheAlarmWithoutACommandAndAnArmedInputRaisesNone)
{
    writeIndex({rec("1", "quiet", "25")});
    QDir().mkpath(native("C/Tamblor"));
    measure::writeWav(slotFile(1), kRate, 2, std::vector<int16_t>(size_t(25 * kRate) * 2, 0));
    LoudnessPreferences p;
    p.silenceSeconds = 10;
    ProgramSettings(app->drives()).setLoudness(p);
    openWithStartMode(2);
    RecordingStarter starter;
    watch().alarm().setStarter(starter);

    // Armed only: nothing is written, so no alarm however long the silence.
    backend().setInputSignal(sources::silence());
    click(w->cmdRecord);
    record(12 * kRate);
    EXPECT_FALSE(watch().alarm().isRaised());
    click(w->cmdStop);

    clickSlot(1);
    click(w->cmdPlay);
    for (int i = 0; i < 22 && !watch().alarm().isRaised(); ++i) {
        backend().advanceMs(500);
        w->WavePlayer().waitIdle();
        tick();
    }
    ASSERT_TRUE(watch().alarm().isRaised());
    EXPECT_EQ(watch().alarm().raisedAtFrame(), int64_t(10 * kRate));
    EXPECT_EQ(w->lblSilence->text(), "SILENCE  00:10   slot 1   no signal");
    EXPECT_EQ(app->messageText(),
              "Silence on slot 1 (C:\\Tamblor\\SF0001.wav): below -40.0 dBFS for 10 seconds, level -inf dBFS.");
    EXPECT_TRUE(starter.started.empty()); // no command set
    EXPECT_TRUE(studio->playback().isPlaying());

    // Stopping the playback ends the watch and with it the alarm.
    click(w->cmdStop);
    EXPECT_FALSE(watch().alarm().isRaised());
    EXPECT_FALSE(w->lblSilence->isVisible());
}

namespace {

// Where every button of the window is, in the window's coordinates, and the window's size, as
// "cmdPlay 612,368 84x36" lines.
std::string buttonPlaces(QWidget* window)
{
    QStringList places{QStringLiteral("window %1x%2").arg(window->width()).arg(window->height())};
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        const QPoint at = b->mapTo(window, QPoint());
        places << QStringLiteral("%1 %2,%3 %4x%5").arg(b->objectName()).arg(at.x()).arg(at.y()).arg(b->width()).arg(b->height());
    }
    places.sort();
    return places.join('\n').toStdString();
}

} // namespace

TEST_F(LoudnessTest, TheSilenceBandComesAndGoesWithoutMovingAButtonOrResizingTheWindow)
{
    LoudnessPreferences p;
    p.silenceSeconds = 2;
    QDir().mkpath(native("C/Tamblor"));
    ProgramSettings(app->drives()).setLoudness(p);
    openWithStartMode(0);
    // At the smallest size the window takes, where a band that asks for room would grow it.
    w->resize(w->minimumSizeHint());
    QCoreApplication::processEvents();
    const QSize smallest = w->size();
    ASSERT_TRUE(layoutcheck::clippedControls(w).isEmpty()) << layoutcheck::clippedControls(w).join("; ").toStdString();
    const std::string before = buttonPlaces(w);
    ASSERT_GE(std::count(before.begin(), before.end(), '\n'), 6);
    screenshot("library-silence-smallest-before");

    // One second of sound, four of digital silence, then sound.
    backend().setInputSignal(programme({{kRate, 10000}, {4 * kRate, 0}, {20 * kRate, 10000}}));
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().state(), RecordingSession::State::Writing);
    record(4 * kRate);
    ASSERT_TRUE(watch().alarm().isRaised());
    ASSERT_TRUE(w->lblSilence->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(buttonPlaces(w), before);
    EXPECT_EQ(w->size(), smallest);
    EXPECT_EQ(w->lblSilence->toolTip(), w->lblSilence->text());
    EXPECT_GT(w->lblSilence->height(), 0);
    screenshot("library-silence-smallest");

    record(7 * kRate); // five seconds of sound clear it
    ASSERT_FALSE(watch().alarm().isRaised());
    ASSERT_FALSE(w->lblSilence->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(buttonPlaces(w), before);
    EXPECT_EQ(w->size(), smallest);

    // A band naming a long file is cut to the window, never widens it.
    w->lblSilence->setText(QStringLiteral("SILENCE  00:10   %1   no signal").arg(QString(120, 'W')));
    w->lblSilence->setVisible(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(buttonPlaces(w), before);
    EXPECT_EQ(w->size(), smallest);
    click(w->cmdStop);
}
