// What the operator sees of an event's input and of its runs: the input chosen in the editor and
// listed (telephone quality said), a check of the input on the virtual card, the runs with their
// figures, measured start, whole detail and silence warning, the history exported and printed,
// finished one-shot events behind a switch, and where the windows open.
// With TAMBLOR_SCREENSHOT_DIR set, the editor, the check and the runs are saved as pictures.
#include "EventsFixture.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/VirtualBackend.h"
#include "audio/jobs/Job.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LoudnessPanel.h"
#include "events/EventText.h"
#include "events/RunHistory.h"
#include "wavefiles/LibraryPrinter.h"
#include "wavefiles/frmWaveFiles.h"
#include "events/WindowPlacement.h"
#include "studio/Scheduler.h"
#include "tests/support/LayoutCheck.h"
#include "tests/support/WavBytes.h"
#include <QFile>
#include <QPlainTextEdit>
#include <cmath>

using namespace tamblor;
using namespace tamblor::events;
using schedule::RecordEvent;
using schedule::RecordRun;
using schedule::RunResult;

namespace {

class EventHistoryTest : public EventsTest {
protected:
    qint64 figures(std::optional<double> lufs, std::optional<double> tp, std::optional<double> silence)
    {
        store::TakeFigures f;
        f.peakDbfs = -2.0;
        f.integratedLufs = lufs;
        f.lraLu = 3.0;
        f.truePeakDbtp = tp;
        f.longestSilenceS = silence;
        f.silenceBelowDbfs = -40;
        return studio->figures().store(f);
    }
    RecordRun run(const RecordEvent& e, QDate day, QTime start, RunResult result, const QString& detail,
                  std::optional<qint64> figuresId)
    {
        RecordRun r = runOf(e, day, start, result);
        r.firstSampleMs = r.scheduledStartMs;
        r.measuredFirstSampleMs = r.scheduledStartMs - 4;
        r.sampleRate = 44100;
        r.lengthFrames = 44100 * 60;
        r.slot = 5;
        r.detail = detail;
        r.figuresId = figuresId;
        studio->runs().append(r);
        return r;
    }
};

} // namespace

TEST_F(EventHistoryTest, TheEditorOffersTheInputAsThePreferencesOrChosenByNameAndTheListSaysWhenItIsTelephoneQuality)
{
    // A fresh install records 8 kHz mono: a new event says so before its first take.
    frmRecordEvents* w = openEvents();
    w->cmdNew->click();
    frmEditEvent* e = editor();
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->cboDevice->currentText().startsWith("As the preferences: Virtual Input"));
    EXPECT_EQ(e->cboFormat->currentText(), "As the preferences: PCM 8.000 kHz");
    EXPECT_EQ(e->cboChannels->currentText(), "As the preferences: mono");
    EXPECT_EQ(e->lblQuality->text(), "The takes of this event would be 8 kHz and mono: telephone quality.");
    e->txtName->setText("NEWS");
    ASSERT_TRUE(accepted(e));
    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 1);
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::Input],
              "Preferences: Virtual Input, PCM 8.000 kHz, mono - 8 kHz and mono!");
    EXPECT_EQ(w->lstEvents->topLevelItem(0)->foreground(frmRecordEvents::Input).color(), frmRecordEvents::warningTextColour());

    // Chosen for the event: the second card by its name, 44.1 kHz stereo.
    card().setInputDevices({"Virtual Input", "Studio Line"});
    w->selectEvent(studio->events().all()[0].id);
    e = change(w);
    ASSERT_TRUE(e);
    e->cboDevice->setCurrentIndex(e->cboDevice->findText("Studio Line"));
    e->cboFormat->setCurrentIndex(e->cboFormat->findData(3));
    e->cboChannels->setCurrentIndex(e->cboChannels->findData(1));
    EXPECT_TRUE(e->lblQuality->isHidden());
    layoutcheck::saveScreenshot(e, "editor-input-chosen");
    ASSERT_TRUE(accepted(e));
    const RecordEvent stored = studio->events().all()[0];
    EXPECT_EQ(stored.device, 1);
    EXPECT_EQ(stored.deviceName, "Studio Line");
    EXPECT_EQ(stored.format, 3);
    EXPECT_EQ(stored.channels, 1);
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::Input], "Studio Line, PCM 44.100 kHz, stereo");

    // The card moved to another number: the editor finds it by its name; one that is gone is
    // kept, said as not there, and not replaced by whatever card has its number.
    card().setInputDevices({"Studio Line", "Virtual Input"});
    e = change(w);
    EXPECT_EQ(e->cboDevice->currentText(), "Studio Line");
    e->cmdCancel->click();
    card().setInputDevices({"Virtual Input"});
    e = change(w);
    EXPECT_EQ(e->cboDevice->currentText(), "Studio Line (not there)");
    ASSERT_TRUE(accepted(e));
    EXPECT_EQ(studio->events().all()[0].deviceName, "Studio Line");
}

TEST_F(EventHistoryTest, CheckInputOpensTheInputForAFewSecondsShowsItsLevelsAndLoudnessAndYieldsToATake)
{
    restartOn44100Stereo(2);
    card().setInputSignal(audio::sources::tone(1000.0, 16000));
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 2);
    auto* library = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
    ASSERT_TRUE(library);
    frmRecordEvents* w = openEvents();
    w->selectEvent(news.id);
    frmEditEvent* e = change(w);
    ASSERT_TRUE(e);
    e->cboDevice->setCurrentIndex(e->cboDevice->findText("Studio Line"));
    e->cmdCheck->click();
    ASSERT_TRUE(studio->recording().checking()) << e->lblCheck->text().toStdString();
    EXPECT_EQ(studio->recording().input().deviceId(), 1) << "the card chosen";
    EXPECT_EQ(e->cmdCheck->text(), "Stop check");
    for (int i = 0; i < 60; ++i)
        step();
    // A tone at half scale: the meters stand near -6 dBFS, the loudness near it in LUFS.
    EXPECT_NEAR(e->Level1->displayDb(), 20 * std::log10(16000.0 / 32768.0), 1.0);
    EXPECT_NEAR(studio->watch().reading().momentaryLufs, -6.2 + 0.6, 2.0);
    EXPECT_NE(e->Loudness1->lblMomentary->text(), "M --.-");
    layoutcheck::saveScreenshot(e, "editor-check-input");
    // The library window's meters and loudness show the input whenever it is open.
    EXPECT_NEAR(library->Level1->displayDb(), e->Level1->displayDb(), 0.5);
    EXPECT_EQ(library->Loudness1->lblIntegrated->text(), e->Loudness1->lblIntegrated->text());
    EXPECT_NE(library->Loudness1->lblIntegrated->text(), "I --.- LUFS");
    EXPECT_EQ(studio->recording().state(), RecordingSession::State::Idle) << "nothing is recorded";

    // A take comes first: Record Now ends the check, and the check is refused while it records.
    w->cmdRecordNow->click();
    ASSERT_TRUE(studio->scheduler().recording());
    EXPECT_FALSE(studio->recording().checking());
    EXPECT_EQ(e->lblCheck->text(), "A take took the input: the check ended.");
    e->cmdCheck->click();
    EXPECT_FALSE(studio->recording().checking());
    EXPECT_TRUE(e->lblCheck->text().startsWith("The input cannot be checked now")) << e->lblCheck->text().toStdString();
    for (int i = 0; i < 100 && studio->recording().state() != RecordingSession::State::Idle; ++i)
        step();
    studio->scheduler().finishChecks();
    const std::vector<RecordRun> runs = studio->runs().list(news.id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::OK) << runs[0].detail.toStdString();
    // The measured first sample is the clock less what the card delivered after it.
    ASSERT_TRUE(runs[0].measuredFirstSampleMs.has_value());
    EXPECT_LE(std::abs(*runs[0].measuredFirstSampleMs - *runs[0].firstSampleMs), Studio::TickMs);

    // After the take, the check runs again, and its time ends it; the input is closed then.
    e->cmdCheck->click();
    ASSERT_TRUE(studio->recording().checking());
    e->endCheck(); // as its timer does
    EXPECT_FALSE(studio->recording().checking());
    EXPECT_FALSE(studio->recording().input().isCapturing());
    EXPECT_EQ(e->lblCheck->text(), "The check ended.");
    EXPECT_EQ(e->cmdCheck->text(), "Check input");

    // Closing the editor ends its check at once.
    e->cmdCheck->click();
    ASSERT_TRUE(studio->recording().checking());
    e->cmdCancel->click();
    flushDeletes();
    EXPECT_FALSE(studio->recording().checking());
}

TEST_F(EventHistoryTest, TheRunsShowTheirFiguresMeasuredStartWholeDetailAndWarnOfALongSilenceInAnOkTake)
{
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 60);
    const QDate day(2026, 12, 7);
    run(news, day.addDays(-3), QTime(17, 0), RunResult::OK, "", figures(-23.04, -1.26, 0.4));
    const RecordRun quiet = run(news, day.addDays(-2), QTime(17, 0), RunResult::OK, "", figures(-41.5, -20.0, 50.0));
    const QString why = "The input failed during the take. The 12.0 s recorded were kept in slot 5.";
    const RecordRun failed = run(news, day.addDays(-1), QTime(17, 0), RunResult::Short, why, figures(-30.0, -3.0, 1.5));
    frmRecordEvents* w = openEvents();
    ASSERT_EQ(w->lstRuns->topLevelItemCount(), 3);
    w->selectRun(failed.id);
    QTreeWidgetItem* item = w->lstRuns->currentItem();
    EXPECT_EQ(item->text(frmRecordEvents::Due), "12/06/2026 17:00");
    EXPECT_EQ(item->text(frmRecordEvents::Started), "16:59:59.996");
    EXPECT_EQ(item->text(frmRecordEvents::Loudness), "-30.0 LUFS");
    EXPECT_EQ(item->text(frmRecordEvents::TruePeak), "-3.0 dBTP");
    EXPECT_EQ(item->text(frmRecordEvents::Silence), "1.5 s");
    EXPECT_TRUE(item->toolTip(frmRecordEvents::Detail).contains(why));
    EXPECT_EQ(item->toolTip(frmRecordEvents::RunEvent), item->toolTip(frmRecordEvents::Detail)) << "the whole row";
    const QString pane = w->txtRunDetail->toPlainText();
    EXPECT_TRUE(pane.contains("Result: Short")) << pane.toStdString();
    EXPECT_TRUE(pane.contains("First sample at 16:59:59.996 (-4 ms from the start)")) << pane.toStdString();
    EXPECT_TRUE(pane.contains(why)) << pane.toStdString();
    w->resize(1000, 640);
    layoutcheck::saveScreenshot(w, "runs-failed-detail");

    // 50 s silent of 60 with the alarm at 20 s: OK, as a warning with the silence's length.
    w->selectRun(quiet.id);
    item = w->lstRuns->currentItem();
    EXPECT_EQ(item->text(frmRecordEvents::Result), "OK - Silence 50.0 s");
    EXPECT_EQ(item->foreground(frmRecordEvents::Result).color(), frmRecordEvents::warningTextColour());
    EXPECT_TRUE(w->txtRunDetail->toPlainText().contains("warning: a silence of 50.0 s, the silence alarm's time is 20 s"));
    EXPECT_EQ(runWarning(*studio->runs().find(quiet.id), 50.0), "Silence 50.0 s") << "reaching the time is enough";
    EXPECT_EQ(runWarning(*studio->runs().find(quiet.id), 50.1), "");
}

TEST_F(EventHistoryTest, TheRunsOfAPeriodAreExportedAsCsvWhereTheOperatorChoosesAndPrintedAsAJob)
{
    const RecordEvent news = storeEvent("NEWS, LOCAL", QTime(17, 0), 60);
    const QDate day(2026, 12, 7);
    run(news, day.addDays(-10), QTime(17, 0), RunResult::OK, "", figures(-23.0, -1.0, 0.5));
    run(news, day.addDays(-1), QTime(17, 0), RunResult::Silent, "Nothing above \"-50\" dBFS.",
        figures(-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 60.0));
    frmRecordEvents* w = openEvents();
    const QString offered = native("C/Tamblor/Record Results.csv");
    writeAllBytes(offered, "an older export");
    w->txtFrom->setText("12/01/2026");
    w->txtTo->setText("12/07/2026");

    // Cancelled: nothing written, nothing said.
    prompts->saveNames.push_back("");
    w->cmdExport->click();
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(prompts->asked[0].title, "Export Results as CSV");
    EXPECT_EQ(prompts->asked[0].text, offered);
    EXPECT_EQ(readAllBytes(offered), "an older export");
    EXPECT_EQ(app->messageText(), "");

    // The name offered taken: the older file replaced.
    w->cmdExport->click();
    EXPECT_EQ(app->messageText(), "1 result from 12/01/2026 to 12/07/2026 was written to C:\\Tamblor\\Record Results.csv.");
    const QByteArray expected =
        "Event,Due,First sample,Planned from,Length (s),Sample rate,Slot,Result,Warning,Integrated (LUFS),Range (LU),"
        "True peak (dBTP),Peak (dBFS),Longest silence (s),Detail,Seen\r\n"
        "\"NEWS, LOCAL\",2026-12-06 17:00:00.000,2026-12-06 16:59:59.996,2026-12-06 17:00:00.000,60.000,44100,5,Silent,,"
        "-inf,3.0,-inf,-2.0,60.0,\"Nothing above \"\"-50\"\" dBFS.\",no\r\n";
    EXPECT_EQ(readAllBytes(offered), expected);

    // A file on a drive, in a folder not made yet, is said by its drive letter.
    const QString week = native("D/Exports/Week 49.csv");
    prompts->saveNames.push_back(week);
    w->cmdExport->click();
    EXPECT_EQ(app->messageText(), "1 result from 12/01/2026 to 12/07/2026 was written to D:\\Exports\\Week 49.csv.");
    EXPECT_EQ(readAllBytes(week), expected);

    // The last file chosen is offered next; one elsewhere is said by its own path.
    const QString elsewhere = native("share/results.csv");
    prompts->saveNames.push_back(elsewhere);
    w->cmdExport->click();
    ASSERT_EQ(prompts->asked.size(), 4u);
    EXPECT_EQ(prompts->asked[3].text, week);
    EXPECT_EQ(app->messageText(), "1 result from 12/01/2026 to 12/07/2026 was written to " + elsewhere + ".");
    EXPECT_EQ(readAllBytes(elsewhere), expected);

    // A period typed wrong is said before anything is asked.
    w->txtTo->setText("07.12.2026");
    w->cmdExport->click();
    EXPECT_EQ(app->messageText(), "Type the period's days as month/day/year: 12/07/2026.");
    EXPECT_EQ(prompts->asked.size(), 4u);
    w->txtTo->setText("12/07/2026");

    const QStringList lines = printedRunLines(studio->runs().between(ms(day.addDays(-6), QTime(0, 0)), ms(day.addDays(1), QTime(0, 0))),
                                              20.0, "from 12/01/2026 to 12/07/2026", "/");
    EXPECT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[3], "12/06/2026 17:00  NEWS, LOCAL       Silent      01:00    -inf   -inf   60.0 s") << lines[3].toStdString();
    EXPECT_EQ(lines[4], "    Nothing above \"-50\" dBFS.");
    // The printed list runs as a job; with no printer it goes to a PDF file, asked for first.
    const QString pdf = native("D/Exports/Week 49.pdf");
    if (LibraryPrinter::usesPdf()) {
        prompts->saveNames.push_back("");
        w->cmdPrint->click();
        ASSERT_EQ(prompts->asked.size(), 5u);
        EXPECT_EQ(prompts->asked[4].title, "Print Results to a PDF File");
        EXPECT_EQ(prompts->asked[4].text, native("C/Tamblor/Record Results.pdf"));
        EXPECT_FALSE(w->printJob().isRunning());
        prompts->saveNames.push_back(pdf);
    }
    w->cmdPrint->click();
    ASSERT_TRUE(w->printJob().isRunning());
    w->printJob().finish();
    EXPECT_FALSE(w->printJob().failure().has_value());
    if (!LibraryPrinter::usesPdf())
        return;
    EXPECT_TRUE(readAllBytes(pdf).startsWith("%PDF"));
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/Record Results.pdf")));
    EXPECT_EQ(app->messageText(), "No printer is installed. The results were printed to D:\\Exports\\Week 49.pdf");
    prompts->saveNames.push_back("");
    w->cmdPrint->click();
    EXPECT_EQ(prompts->asked.back().text, pdf);
}

TEST_F(EventHistoryTest, FinishedOneShotEventsAreListedOnlyWithShowFinished)
{
    RecordEvent once;
    once.name = "ONCE";
    once.start = QTime(9, 0);
    once.date = QDate(2026, 12, 7); // 09:00 today: gone at 16:48
    once.lengthSeconds = 60;
    studio->events().add(once);
    storeEvent("NEWS", QTime(17, 0), 60);
    frmRecordEvents* w = openEvents();
    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 1);
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::Name], "NEWS");
    w->chkFinished->click();
    ASSERT_EQ(w->lstEvents->topLevelItemCount(), 2);
    EXPECT_EQ(row(w->lstEvents, 0)[frmRecordEvents::NextStart], "done");
}

TEST_F(EventHistoryTest, TheGreyedEndFollowsAChangedStart)
{
    frmRecordEvents* w = openEvents();
    w->cmdNew->click();
    frmEditEvent* e = editor();
    ASSERT_TRUE(e);
    e->optEnd[0]->setChecked(true);
    e->txtStart->setText("17:00");
    e->txtLength->setText("01:05:00");
    EXPECT_EQ(e->txtEnd->text(), "18:05");
    e->txtStart->setText("17:07");
    EXPECT_EQ(e->txtEnd->text(), "18:12");
    // At a time of day: the greyed length follows, across midnight too.
    e->optEnd[1]->setChecked(true);
    e->txtEnd->setText("01:07");
    EXPECT_EQ(e->txtLength->text(), "08:00:00");
    e->txtStart->setText("23:07");
    EXPECT_EQ(e->txtLength->text(), "02:00:00");
}

TEST_F(EventHistoryTest, TheEventsOpenBesideTheMainMenu)
{
    frmRecordEvents* w = openEvents();
    w->cmdNew->click();
    frmEditEvent* e = editor();
    ASSERT_TRUE(e);
    QCoreApplication::processEvents();
    // (Their layout on a small screen is checked with every window's in the program's tests.)
    EXPECT_LE(e->sizeHint().height() + 40, 768) << "the editor opens whole on a 1024 x 768 screen";
    // The record events open below the main menu, never over its line.
    EXPECT_FALSE(w->frameGeometry().intersects(menu->frameGeometry()))
        << "menu " << menu->frameGeometry().height() << ", events at " << w->frameGeometry().top();

    // Where the window goes on a 1024 x 768 screen and on one 1000 high.
    const QRect screen(0, 0, 1024, 768);
    const QRect mainMenu(0, 0, 640, 200);
    const QRect below = placeBeside(mainMenu, QSize(1000, 640), QSize(700, 400), screen);
    EXPECT_EQ(below, QRect(0, 200, 1000, 568));
    const QRect tall(0, 0, 300, 500);
    const QRect right = placeBeside(tall, QSize(1000, 640), QSize(700, 400), screen);
    EXPECT_EQ(right, QRect(300, 0, 724, 640));
    EXPECT_FALSE(right.intersects(tall));
    EXPECT_EQ(placeBeside(mainMenu, QSize(1000, 640), QSize(700, 400), QRect(0, 0, 1280, 1000)), QRect(0, 200, 1000, 640));
}
