// The normalize window: level choice, the file prompt, the two-phase gauge and the file on disk.
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/LayoutCheck.h"
#include "tests/support/AppFixture.h"
#include "tools/frmNormalize.h"
#include "audio/files/Loudness.h"
#include "audio/widgets/Gauge.h"
#include "audio/widgets/Slider.h"
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include "audio/jobs/Job.h"
#include <cmath>
#include <functional>

using namespace tamblor;
using namespace tamblor::audio::measure;

namespace {

// Calls back on every repaint of a widget (the gauge repaints on each progress step).
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* w, std::function<void()> onPaint) : onPaint_(std::move(onPaint)) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            onPaint_();
        return false;
    }

private:
    std::function<void()> onPaint_;
};

// A stereo 440 Hz sine whose peak is `peak`.
std::vector<int16_t> tone(int peak, double seconds = 0.5)
{
    std::vector<int16_t> s;
    const int frames = int(44100 * seconds);
    for (int i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(peak * std::sin(2 * M_PI * 440.0 * i / 44100.0)));
        s.push_back(v);
        s.push_back(v);
    }
    return s;
}

int filePeak(const QString& path)
{
    const WavContents w = readWav(path);
    EXPECT_EQ(w.sampleRate, 44100) << path.toStdString();
    return peakOf(w.samples);
}

// A 1 kHz stereo tone at `dbfs` (peak), 20 s, with an optional 20 ms burst at `burstDbfs`
// in its middle.
std::vector<int16_t> programme(double dbfs, double burstDbfs = 0.0)
{
    const auto amplitude = [](double db) { return 32768.0 * std::pow(10.0, db / 20.0); };
    std::vector<int16_t> s;
    const int frames = 44100 * 20;
    for (int i = 0; i < frames; ++i) {
        const bool burst = burstDbfs < 0 && i >= frames / 2 && i < frames / 2 + 882;
        const auto v = int16_t(std::lround(amplitude(burst ? burstDbfs : dbfs) * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
        s.push_back(v);
        s.push_back(v);
    }
    return s;
}

audio::LoudnessFigures loudnessOf(const QString& path)
{
    const WavContents w = readWav(path);
    audio::LoudnessMeter m(w.channels, w.sampleRate);
    m.add(w.samples.data(), w.samples.size() / size_t(w.channels));
    return m.figures();
}

// The files of a folder, for checking that no temporary file was left behind.
std::string filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files).join(' ').toStdString(); }

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace

class NormalizeWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        app->windows().registerWindow(WindowName::frmNormalize, [](Application& a) { return new frmNormalize(a); });
        ASSERT_TRUE(app->start());
        open();
        wavPath = native("C/Tamblor/Voice.wav");
        writeWav(wavPath, 44100, 2, tone(8000));
    }
    void open()
    {
        win = app->windows().show<frmNormalize>(WindowName::frmNormalize);
        ASSERT_TRUE(win);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win)); // it paints what its job reports
        slider = win->findChild<audio::Slider*>("Slider");
        gauge = win->findChild<audio::Gauge*>("Gauge");
        ASSERT_TRUE(slider && gauge);
    }
    QPushButton* button(const char* name) { return win->findChild<QPushButton*>(name); }
    // Starts the normalizer and takes what its job reports, in order, until it has ended. A
    // window that closed itself at the end is still there until deferred deletes run.
    void normalize()
    {
        button("cmdNormalize")->click();
        if (win)
            win->job().finish();
        ASSERT_TRUE(!win || !win->isWorking());
    }
    // The same through the event loop, as the program runs it (a window that closes itself at
    // the end goes at once).
    void normalizeLive()
    {
        button("cmdNormalize")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !win || !win->isWorking(); }, 60000));
    }
    bool windowOpen()
    {
        flushDeletes();
        return app->windows().find(WindowName::frmNormalize) != nullptr;
    }

    QPointer<frmNormalize> win;
    audio::Slider* slider = nullptr;
    audio::Gauge* gauge = nullptr;
    QString wavPath;
};

TEST_F(NormalizeWindowTest, OpensAtLevel9191WithItsControls)
{
    EXPECT_EQ(win->windowTitle(), "Normalize");
    EXPECT_EQ(slider->orientation(), Qt::Vertical);
    EXPECT_EQ(slider->maxValue(), 16384);
    EXPECT_EQ(slider->position(), 9191);
    auto* level = win->findChild<QLabel*>("lblLevel");
    EXPECT_EQ(level->text(), "-5.0 dB");
    slider->setPosition(16384);
    EXPECT_EQ(level->text(), "0.0 dB");
    slider->setPosition(0);
    EXPECT_EQ(level->text(), "-inf dB");
    EXPECT_TRUE(gauge->isHidden());
    EXPECT_EQ(gauge->caption(), "Normalize...");
    EXPECT_EQ(button("cmdNormalize")->text(), "Normalize");
    EXPECT_EQ(button("cmdClose")->text(), "Close");
    EXPECT_EQ(win->findChild<QMenu*>("mnuFiles")->title(), "Files");
    EXPECT_EQ(win->findChild<QAction*>("mnuExit")->text(), "Exit");
}

TEST_F(NormalizeWindowTest, InLoudnessModeThePeakLevelIsGreyedAndTheMonoRuleIsSaid)
{
    auto* level = win->findChild<QLabel*>("lblLevel");
    auto* mono = win->findChild<QLabel*>("lblMono");
    ASSERT_TRUE(level && mono);
    EXPECT_TRUE(mono->isVisible());
    EXPECT_EQ(mono->text(), "A mono file is measured as heard\non two loudspeakers.");
    const QImage active = slider->grab().toImage();
    EXPECT_TRUE(level->isEnabled());

    win->findChild<QRadioButton*>("optLoudness")->click();
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_FALSE(level->isEnabled());
    // Drawn as out of use, not only refusing the mouse.
    EXPECT_NE(slider->grab().toImage(), active);
    const QPoint thumbBorder(1, slider->height() - 1 - int(std::lround(9191.0 / 16384 * (slider->height() - 11))) - 5);
    EXPECT_EQ(slider->grab().toImage().pixel(thumbBorder), slider->palette().color(QPalette::Disabled, QPalette::Text).rgb());

    win->findChild<QRadioButton*>("optPeak")->click();
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_TRUE(level->isEnabled());
}

TEST_F(NormalizeWindowTest, LevelIsAWholePercentWithHalvesToEven)
{
    const std::pair<int, int> cases[] = {{16384, 100}, {0, 0}, {9191, 56}, {2048, 12}, {6144, 38},
                                         {10240, 62}, {14336, 88}, {164, 1}};
    for (auto [position, percent] : cases)
        EXPECT_EQ(frmNormalize::levelPercent(position), percent) << position;
}

TEST_F(NormalizeWindowTest, NormalizesTheChosenFileToTheSliderLevel)
{
    // The peak lands on the percentage handed over, so each case also checks the rounding.
    const std::pair<int, int> cases[] = {{16384, 100}, {9191, 56}, {2048, 12}, {6144, 38}};
    for (auto [position, percent] : cases) {
        SCOPED_TRACE(position);
        if (!win)
            open();
        writeWav(wavPath, 44100, 2, tone(8000));
        slider->setPosition(position);
        prompts->fileNames.push_back(wavPath);
        normalize();
        EXPECT_NEAR(filePeak(wavPath), 32767.0 * percent / 100.0, 3.0);
        EXPECT_FALSE(windowOpen()); // done: the window closes itself
        EXPECT_TRUE(prompts->fileNames.empty());
    }
    ASSERT_EQ(prompts->asked.size(), 4u);
    EXPECT_EQ(prompts->asked[0].title, "Normalize");
}

TEST_F(NormalizeWindowTest, GaugeShowsScanningThenNormalizeWhileTheControlsRest)
{
    struct Seen {
        QString caption;
        int value;
        bool controlsEnabled;
    };
    std::vector<Seen> seen;
    PaintWatch watch(gauge, [&] {
        seen.push_back({gauge->caption(), gauge->value(),
                        button("cmdNormalize")->isEnabled() || button("cmdClose")->isEnabled() || slider->isEnabled()});
    });
    prompts->fileNames.push_back(wavPath);
    normalize();

    std::vector<QString> phases;
    for (const Seen& s : seen) {
        if (s.caption == "Normalize...")
            continue; // shown before the first progress step
        EXPECT_FALSE(s.controlsEnabled);
        EXPECT_TRUE(s.caption == "Scanning " || s.caption == "Normalize ") << s.caption.toStdString();
        if (phases.empty() || phases.back() != s.caption)
            phases.push_back(s.caption);
    }
    EXPECT_EQ(phases, (std::vector<QString>{"Scanning ", "Normalize "}));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().caption, "Normalize ");
    EXPECT_EQ(seen.back().value, 100);
    // Afterwards the gauge is back at 0 and hidden, and the window closes.
    ASSERT_TRUE(win);
    EXPECT_EQ(gauge->value(), 0);
    EXPECT_TRUE(gauge->isHidden());
    EXPECT_FALSE(windowOpen());

    // The progress procedure on its own: phase 0 scans, any other phase rewrites.
    open();
    win->NormalizeProgress(42, 0, 7);
    EXPECT_EQ(gauge->text(), "Scanning 42%");
    win->NormalizeProgress(7, 3, 0);
    EXPECT_EQ(gauge->text(), "Normalize 7%");
}

TEST_F(NormalizeWindowTest, CancelledFileChoiceLeavesEverythingAsItWas)
{
    const QByteArray before = readAllBytes(wavPath);
    const std::string files = filesIn(native("C/Tamblor"));
    normalize(); // no answer scripted: the operator cancels
    EXPECT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(readAllBytes(wavPath), before);
    EXPECT_EQ(filesIn(native("C/Tamblor")), files);
    EXPECT_TRUE(app->messageText().isEmpty());
}

TEST_F(NormalizeWindowTest, ClosingTheWindowDuringTheWorkStopsItAndKeepsTheFile)
{
    for (const char* phase : {"Scanning ", "Normalize "}) {
        SCOPED_TRACE(phase);
        if (!win)
            open();
        const QByteArray before = readAllBytes(wavPath);
        const std::string files = filesIn(native("C/Tamblor"));
        bool closed = false;
        // The job waits at each step until the window has shown it, so the close arrives at
        // the step it is meant for.
        win->job().setStepwise(true);
        PaintWatch watch(gauge, [&] {
            if (!closed && gauge->caption() == phase) {
                closed = true;
                EXPECT_FALSE(win->close()); // kept open until the job has ended
            }
        });
        prompts->fileNames.push_back(wavPath);
        normalize();
        EXPECT_TRUE(closed);
        EXPECT_EQ(readAllBytes(wavPath), before);
        EXPECT_EQ(filesIn(native("C/Tamblor")), files);
        EXPECT_FALSE(windowOpen());
    }
}

TEST_F(NormalizeWindowTest, EndingTheProgramDuringTheWorkStopsItAndKeepsTheFile)
{
    const QByteArray before = readAllBytes(wavPath);
    QWidget* menu = app->windows().find(WindowName::mnuMenu);
    bool asked = false;
    // The operator closes the main menu while the file is scanned; the close arrives while the
    // job waits at its next step.
    win->job().setStepwise(true);
    PaintWatch watch(gauge, [&] {
        if (!asked && gauge->caption() == "Scanning ") {
            asked = true;
            QMetaObject::invokeMethod(menu, &QWidget::close, Qt::QueuedConnection);
        }
    });
    prompts->fileNames.push_back(wavPath);
    button("cmdNormalize")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win; }, 60000));
    EXPECT_TRUE(asked);
    EXPECT_TRUE(app->isEnding());
    EXPECT_FALSE(win); // went with the program, without a message
    EXPECT_TRUE(app->messageText().isEmpty());
    EXPECT_EQ(readAllBytes(wavPath), before);
}

TEST_F(NormalizeWindowTest, FailureIsReportedAndTheWindowStaysForAnotherTry)
{
    const QString bad = native("C/Tamblor/notes.wav");
    writeAllBytes(bad, "this is not a wave file at all, just some text");
    prompts->fileNames.push_back(bad);
    normalize();

    // Number, text and the file it happened to.
    EXPECT_TRUE(app->messageText().startsWith("321 ")) << app->messageText().toStdString();
    EXPECT_TRUE(app->messageText().endsWith("c:\\Tamblor\\notes.wav", Qt::CaseInsensitive)) << app->messageText().toStdString();
    EXPECT_EQ(readAllBytes(bad), QByteArray("this is not a wave file at all, just some text"));
    ASSERT_TRUE(windowOpen());
    EXPECT_FALSE(gauge->isHidden()); // left as it was
    EXPECT_TRUE(button("cmdNormalize")->isEnabled());

    // The next try asks for the file again instead of reusing the one that failed.
    slider->setPosition(16384);
    prompts->fileNames.push_back(wavPath);
    normalize();
    EXPECT_EQ(prompts->asked.size(), 2u);
    EXPECT_NEAR(filePeak(wavPath), 32767, 3);
    EXPECT_FALSE(windowOpen());
}

TEST_F(NormalizeWindowTest, CloseAndExitUnloadAndReopeningStartsAgainAt9191)
{
    slider->setPosition(100);
    button("cmdClose")->click();
    EXPECT_FALSE(windowOpen());
    open();
    EXPECT_EQ(slider->position(), 9191);
    slider->setPosition(100);
    win->findChild<QAction*>("mnuExit")->trigger();
    EXPECT_FALSE(windowOpen());
    open();
    EXPECT_EQ(slider->position(), 9191);
    EXPECT_EQ(win->findChild<QLabel*>("lblLevel")->text(), "-5.0 dB");
}

TEST_F(NormalizeWindowTest, ALoudnessTargetIsReachedOrHeldAtTheTruePeakCeilingAndTheWindowSaysSo)
{
    auto* peak = win->findChild<QRadioButton*>("optPeak");
    auto* loudness = win->findChild<QRadioButton*>("optLoudness");
    auto* target = win->findChild<QDoubleSpinBox*>("txtTarget");
    auto* integrated = win->findChild<QLabel*>("lblIntegrated");
    auto* result = win->findChild<QLabel*>("lblResult");
    ASSERT_TRUE(peak && loudness && target && integrated && result);
    // The peak level is the default; the loudness target waits at -23 LUFS.
    EXPECT_TRUE(peak->isChecked());
    EXPECT_EQ(target->value(), -23.0);
    EXPECT_FALSE(target->isEnabled());
    EXPECT_EQ(win->findChild<QLabel*>("lblCeiling")->text(), "True peak at most -1.0 dBTP");
    EXPECT_EQ(integrated->text(), "Loudness: -");
    loudness->click();
    EXPECT_TRUE(target->isEnabled());
    EXPECT_FALSE(slider->isEnabled()); // the peak level plays no part

    // A tone at -30 LUFS reaches -23 LUFS; the scan's figures show while the file is rewritten.
    writeWav(wavPath, 44100, 2, programme(-30.0));
    QString measuredWhileRewriting;
    PaintWatch watch(gauge, [&] {
        if (gauge->caption() == "Normalize " && measuredWhileRewriting.isEmpty())
            measuredWhileRewriting = integrated->text();
    });
    prompts->fileNames.push_back(wavPath);
    normalizeLive();
    EXPECT_EQ(measuredWhileRewriting, "Loudness: -30.0 LUFS");
    EXPECT_NEAR(loudnessOf(wavPath).integratedLufs, -23.0, 0.1);
    ASSERT_TRUE(windowOpen()); // stays, showing what was reached
    EXPECT_EQ(result->text(), "Normalized to -23.0 LUFS (gain 7.0 dB).");
    EXPECT_EQ(win->findChild<QLabel*>("lblTruePeak")->text(), "True peak: -30.0 dBTP");
    EXPECT_TRUE(gauge->isHidden());
    EXPECT_TRUE(button("cmdNormalize")->isEnabled());
    EXPECT_TRUE(target->isEnabled());

    // A burst at -5 dBFS would pass the ceiling: the gain stops short and the window says so.
    writeWav(wavPath, 44100, 2, programme(-30.0, -5.0));
    prompts->fileNames.push_back(wavPath); // the next file is asked for again
    normalizeLive();
    EXPECT_EQ(prompts->asked.size(), 2u);
    const audio::LoudnessFigures after = loudnessOf(wavPath);
    EXPECT_LE(after.truePeakDbtp, -0.95);
    EXPECT_LT(after.integratedLufs, -24.0);
    const QRegularExpressionMatch said =
        QRegularExpression("^The gain was lowered to keep the true peak at -1.0 dBTP: the file reaches "
                           "(-\\d+\\.\\d) LUFS, not -23.0 LUFS.$").match(result->text());
    ASSERT_TRUE(said.hasMatch()) << result->text().toStdString();
    EXPECT_NEAR(said.captured(1).toDouble(), after.integratedLufs, 0.1);
    EXPECT_TRUE(layoutcheck::saveScreenshot(win, "normalize-loudness"));

    // An edited target; the peak level is still there to go back to, and closes the window.
    target->setValue(-16.0);
    writeWav(wavPath, 44100, 2, programme(-30.0));
    prompts->fileNames.push_back(wavPath);
    normalizeLive();
    EXPECT_NEAR(loudnessOf(wavPath).integratedLufs, -16.0, 0.1);
    peak->click();
    EXPECT_TRUE(slider->isEnabled());
    slider->setPosition(16384);
    prompts->fileNames.push_back(wavPath);
    normalizeLive();
    EXPECT_NEAR(filePeak(wavPath), 32767, 3);
    EXPECT_FALSE(windowOpen());
}

TEST_F(NormalizeWindowTest, TheWindowAnswersEventsWhileTheFileIsWorkedOn)
{
    // The job waits at each step until the window has shown it; an event that arrives at the
    // first step is answered before the work is done.
    win->job().setStepwise(true);
    bool posted = false, answeredWhileWorking = false;
    PaintWatch watch(gauge, [&] {
        if (posted || gauge->caption() != "Scanning ")
            return;
        posted = true;
        QMetaObject::invokeMethod(
            win, [&] { answeredWhileWorking = win && win->isWorking() && !button("cmdNormalize")->isEnabled(); },
            Qt::QueuedConnection);
    });
    prompts->fileNames.push_back(wavPath);
    normalizeLive();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(answeredWhileWorking);
    EXPECT_NEAR(filePeak(wavPath), 32767.0 * 56 / 100.0, 3.0);
}

TEST_F(NormalizeWindowTest, AFailureDuringTheWorkIsReportedWithItsFileAndLeavesTheOriginal)
{
    // A tone of 20 s (3.5 MB); the file system refuses to grow any file past 1 MB, so the
    // rewrite fails half-way.
    writeWav(wavPath, 44100, 2, programme(-20.0));
    const QByteArray before = readAllBytes(wavPath);
    const std::string files = filesIn(native("C/Tamblor"));
    prompts->fileNames.push_back(wavPath);
    {
        FileSizeLimit full(1 << 20);
        normalize();
    }

    const QString said = app->messageText();
    EXPECT_TRUE(QRegularExpression("^\\d+ .+: c:\\\\Tamblor\\\\Voice\\.wav$", QRegularExpression::CaseInsensitiveOption)
                    .match(said)
                    .hasMatch())
        << said.toStdString();
    EXPECT_EQ(readAllBytes(wavPath), before);
    EXPECT_EQ(filesIn(native("C/Tamblor")), files); // no working file left behind
    ASSERT_TRUE(windowOpen());
    EXPECT_TRUE(button("cmdNormalize")->isEnabled());
}

TEST_F(NormalizeWindowTest, TheWindowDestroyedDuringTheWorkLeavesNoHalfFile)
{
    writeWav(wavPath, 44100, 2, programme(-20.0));
    const QByteArray before = readAllBytes(wavPath);
    const std::string files = filesIn(native("C/Tamblor"));
    win->job().setStepwise(true);
    bool gone = false;
    PaintWatch watch(gauge, [&] {
        if (!gone && gauge->caption() == "Normalize ") {
            gone = true;
            win->deleteLater(); // as the program does when it ends
        }
    });
    prompts->fileNames.push_back(wavPath);
    button("cmdNormalize")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win; }, 60000));
    EXPECT_TRUE(gone);
    EXPECT_EQ(readAllBytes(wavPath), before);
    EXPECT_EQ(filesIn(native("C/Tamblor")), files);
    EXPECT_TRUE(app->messageText().isEmpty());
}
