// The take and the library outside the library window: a take made with no window open, a take
// that ends while the window is open, the window opened during a take, an event's take that
// outlives the window, every open window following a slot changed elsewhere, and an index that
// cannot be written when a take ends.
#include "LibraryWindowFixture.h"
#include "remote/VirtualLines.h"
#include <QLabel>
#include "library/maintenance/IndexMaintenance.h"
#include "wavefiles/frmDialog1.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>
#include <QProcess>

using namespace tamblor;
using namespace tamblor::audio;
using RS = RecordingSession;

namespace {

class StudioTest : public LibraryWindowTest {
protected:
    // Starts the program with the library window registered but not open.
    void startProgram()
    {
        registerLibraryWindow();
        app->windows().registerWindow(WindowName::frmDialog1,
                                      [this](Application& a) { return new frmDialog1(a, studio->library()); });
        app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51)));
        ASSERT_TRUE(app->start());
    }
    void openWindow()
    {
        w = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
        ASSERT_TRUE(w);
        w->Timer1->stop();
    }
    void closeWindow()
    {
        w->close();
        flushDeletes();
        w = nullptr;
    }
    RS& take() { return studio->recording(); }
    // Runs the input with or without a window: the session takes the buffers itself.
    void feedInput(size_t frames)
    {
        backend().advance(frames);
        take().input().waitIdle();
    }
    // Steps of 50 ms of the clock and the input, the studio ticking (its sessions, its
    // scheduler), as its timer does.
    void runFor(qint64 ms)
    {
        for (qint64 t = 0; t < ms; t += Studio::TickMs) {
            app->clock().advance(Studio::TickMs);
            feedInput(44100 * Studio::TickMs / 1000);
            studio->tick();
        }
    }
    // 44100 stereo, start mode Off (one press writes), 0 dB.
    void writeOffSettings() { writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}}); }
};

// chattr +i: not even root writes the file. False where the file system cannot do it.
bool setImmutable(const QString& path, bool on)
{
    return QProcess::execute("chattr", {on ? "+i" : "-i", path}) == 0;
}

} // namespace

TEST_F(StudioTest, ATakeRecordedWithNoWindowOpenIsListedCompleteWhenTheWindowOpens)
{
    writeOffSettings();
    writeIndex({rec("1", "ONE", "5")});
    startProgram();
    ASSERT_FALSE(app->windows().find(WindowName::frmWaveFiles));
    take().applySettings();
    take().input().setGain(16384);
    backend().setInputSignal(sources::tone(440.0, 16000));

    take().handle(RS::Event::Press);
    ASSERT_EQ(take().state(), RS::State::Writing);
    EXPECT_EQ(take().slot(), 2);
    feedInput(2 * 44100);
    advanceClock(2);
    studio->tick();
    EXPECT_EQ(take().elapsedText(), "00:02");
    take().handle(RS::Event::Stop);

    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "2", "12-05-26"));
    EXPECT_EQ(measure::readWav(slotFile(2)).samples.size(), size_t(2 * 2 * 44100));

    openWindow();
    EXPECT_EQ(slotList(), (QList<int>{2, 1})); // names first: "(" sorts before letters
    clickSlot(2);
    EXPECT_EQ(selectedSlot(), 2);
    EXPECT_EQ(w->txtName->text(), "(No Name 002 ****)");
    EXPECT_EQ(w->txtLength->text(), "00:02");
    EXPECT_EQ(w->txtRecordDate->text(), "12-05-26");
    EXPECT_EQ(w->cmdRecord->text(), "&Record");
    EXPECT_EQ(colour(w->cmdRecord), QColor(192, 0, 0));
}

TEST_F(StudioTest, ADamagedDatabaseIsSetAsideAndTheProgramStillStartsAndRecordsByHand)
{
    writeOffSettings();
    writeIndex({rec("1", "ONE", "5")});
    const QByteArray junk = QByteArray("not a database\n").repeated(100);
    writeAllBytes(native("C/Tamblor/Tamblor.db"), junk);
    startProgram();
    EXPECT_TRUE(app->messageText().contains("Tamblor.db.damaged-20261205-080751"));
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Tamblor.db.damaged-20261205-080751")), junk);
    ASSERT_TRUE(studio->database().isOpen());
    EXPECT_TRUE(studio->events().all().empty());

    backend().setInputSignal(sources::tone(440.0, 16000));
    take().handle(RS::Event::Press);
    ASSERT_EQ(take().state(), RS::State::Writing);
    feedInput(44100);
    advanceClock(1);
    take().handle(RS::Event::Stop);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "1", "12-05-26"));
}

TEST_F(StudioTest, ATakeThatEndsWhileTheWindowIsOpenIsListedWithoutTheWindowDoingAnything)
{
    writeOffSettings();
    writeIndex({rec("1", "ONE", "5")});
    startProgram();
    openWindow();
    backend().setInputSignal(sources::tone(440.0, 16000));

    // Another client (the scheduler, here the test) starts and ends the take.
    take().handle(RS::Event::Press);
    ASSERT_EQ(take().state(), RS::State::Writing);
    EXPECT_EQ(w->cmdRecord->text(), "Recording "); // the window shows it
    EXPECT_EQ(w->lblNumber->text(), "2");
    feedInput(44100);
    advanceClock(1);
    take().handle(RS::Event::Stop);

    EXPECT_EQ(slotList(), (QList<int>{2, 1}));
    EXPECT_EQ(selectedSlot(), 2);
    EXPECT_EQ(w->txtName->text(), "(No Name 002 ****)");
    EXPECT_EQ(w->cmdRecord->text(), "Record");

    // A slot completed by anyone else shows at once too: a reserved slot with audio settled by
    // maintenance that no window ran.
    writeAllBytes(slotFile(3), QByteArray());
    measure::writeWav(slotFile(3), 8000, 1, std::vector<int16_t>(3 * 8000, 100));
    IndexRecord reserved;
    reserved.Status = SlotStatus::Reserved;
    studio->library().write(3, reserved);
    IndexMaintenance(*app, studio->library()).DeleteFileIndex();
    EXPECT_EQ(slotList(), (QList<int>{2, 3, 1}));
    EXPECT_EQ(selectedSlot(), 2); // the selection stays where it was
}

TEST_F(StudioTest, ClosingTheWindowLeavesATakeItDidNotStartAndReopeningShowsIt)
{
    writeOffSettings();
    writeIndex({rec("1", "ONE", "5")});
    startProgram();
    openWindow();
    take().input().setGain(16384);
    backend().setInputSignal(sources::tone(440.0, 16000));
    take().handle(RS::Event::Press);
    ASSERT_EQ(take().state(), RS::State::Writing);

    closeWindow();
    EXPECT_EQ(take().state(), RS::State::Writing); // not the window's take
    feedInput(44100);
    advanceClock(3);
    studio->tick(); // with no window the studio ticks the take
    EXPECT_EQ(take().elapsedText(), "00:03");

    openWindow();
    EXPECT_EQ(w->cmdRecord->text(), "Recording ");
    EXPECT_EQ(colour(w->cmdRecord), QColor(255, 0, 0));
    EXPECT_EQ(w->lblNumber->text(), "2");
    EXPECT_EQ(w->txtNumber->text(), "2");
    EXPECT_EQ(w->lblTime->text(), "00:03");
    EXPECT_FALSE(w->mnuDelete->isVisible());
    EXPECT_GT(w->Level1->value(), 0); // the meters show the last input
    feedInput(44100);
    EXPECT_GT(w->Level1->value(), 0);

    // The window's Stop ends it; closing a window whose own take runs ends that take.
    click(w->cmdStop);
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "2", "12-05-26")); // 2 s in the file
    EXPECT_EQ(slotList(), (QList<int>{2, 1}));
    click(w->cmdRecord);
    ASSERT_EQ(take().state(), RS::State::Writing);
    closeWindow();
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_EQ(recordBytes(3).left(1), "1");
}

TEST_F(StudioTest, ClosingTheWindowLeavesAnEventsTakeToRunToItsEnd)
{
    writeOffSettings();
    writeIndex({rec("1", "ONE", "5")});
    startProgram();
    schedule::RecordEvent e;
    e.name = "NOW";
    e.start = QTime(20, 0);
    e.weekdays = schedule::RecordEvent::EveryDay;
    e.lengthSeconds = 30;
    studio->events().add(e);
    backend().setInputSignal(sources::tone(1000.0, 8000));
    openWindow();

    ASSERT_TRUE(studio->scheduler().recordNow(e.id));
    EXPECT_EQ(take().state(), RS::State::Writing);
    EXPECT_EQ(w->cmdRecord->text(), "Recording "); // the open window shows the take
    EXPECT_EQ(w->lblNumber->text(), "2");
    runFor(5000);
    closeWindow();
    EXPECT_EQ(take().state(), RS::State::Writing);
    runFor(30000);
    studio->scheduler().finishChecks();
    QCoreApplication::processEvents();

    const auto runs = studio->runs().list(e.id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, schedule::RunResult::OK) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].lengthFrames, 30 * 44100);
    EXPECT_EQ(recordBytes(2), rec("1", "NOW", "30", "12-05-26"));
}

TEST_F(StudioTest, TheDeleteConfirmationFollowsItsEntryAndClosesWhenAnotherClientFreesIt)
{
    writeIndex({rec("1", "ALPHA", "5"), rec("1", "BRAVO", "6"), rec("1", "CHARLIE", "7")});
    startProgram();
    openWindow();
    clickSlot(3);
    w->mnuDelete->trigger();
    QPointer<frmDialog1> d = app->windows().find<frmDialog1>(WindowName::frmDialog1);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle(), "Delete CHARLIE?");

    // Renamed in the library window: the confirmation names the entry anew at once.
    QTest::mouseDClick(w->txtName, Qt::LeftButton);
    QTest::keyClicks(w->txtName, "Delta");
    EXPECT_EQ(d->windowTitle(), "Delete DELTA?");

    // Freed by another client: the entry leaves the list and the confirmation closes itself.
    clickSlot(2);
    studio->library().release(3);
    EXPECT_EQ(slotList(), (QList<int>{1, 2}));
    flushDeletes();
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(recordBytes(3).left(1), "0");
}

TEST_F(StudioTest, AnIndexThatCannotBeWrittenWhenATakeStopsOnItsOwnIsReportedAndTheTakeKept)
{
    // VOX: a loud buffer starts the take, the first quiet tick stops it.
    writeSettings({{3, 3}, {5, 1}, {6, 1}, {7, 5000}, {11, 16384}});
    writeIndex({rec("1", "ONE", "5")});
    startProgram();
    openWindow();
    ASSERT_TRUE(w->Check1->isChecked());
    backend().setInputSignal(sources::tone(440.0, 16000));
    click(w->cmdRecord);
    feed(44100);
    ASSERT_EQ(take().state(), RS::State::Writing);
    advanceClock(2);

    if (!setImmutable(indexPath(), true))
        GTEST_SKIP() << "the file system cannot make the index immutable";
    const QByteArray before = indexBytes();
    backend().setInputSignal(sources::silence());
    feed(4096);
    tick(); // quiet: the take stops on its own and its entry cannot be written
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_EQ(app->messageText(),
              "70 Permission denied (file index c:\\Tamblor\\Schedule.dat). The take is kept in "
              "C:\\Tamblor\\SF0002.wav; its entry is completed as soon as the index can be written again, "
              "or by \"Delete File Index\".");
    EXPECT_EQ(indexBytes(), before); // still reserved
    EXPECT_EQ(recordBytes(2).left(1), "2");
    const size_t samples = measure::readWav(slotFile(2)).samples.size();
    EXPECT_GT(samples, size_t(2 * 44100));
    EXPECT_EQ(slotList(), (QList<int>{1}));
    EXPECT_EQ(w->cmdRecord->text(), "Record");

    // Still refused: nothing changes and nothing more is said.
    app->showMessage(QString());
    EXPECT_FALSE(studio->library().retryPending());
    EXPECT_EQ(app->messageText(), "");

    // Writable again: the entry is completed and listed at once.
    ASSERT_TRUE(setImmutable(indexPath(), false));
    EXPECT_TRUE(studio->library().retryPending());
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "1", "12-05-26")); // 1.1 s in the file
    EXPECT_EQ(slotList(), (QList<int>{2, 1}));
    EXPECT_EQ(measure::readWav(slotFile(2)).samples.size(), samples);
}

TEST_F(StudioTest, DeleteFileIndexCompletesATakeTheIndexRefused)
{
    writeOffSettings();
    writeIndex({rec("1", "ONE", "5")});
    startProgram();
    openWindow();
    backend().setInputSignal(sources::tone(440.0, 16000));
    click(w->cmdRecord);
    feed(3 * 44100);
    if (!setImmutable(indexPath(), true))
        GTEST_SKIP() << "the file system cannot make the index immutable";
    click(w->cmdStop);
    EXPECT_TRUE(app->messageText().startsWith("70 Permission denied (file index c:\\Tamblor\\Schedule.dat)."));
    EXPECT_TRUE(studio->library().isPending(2));
    ASSERT_TRUE(setImmutable(indexPath(), false));

    // The operator settles it before the retry: the entry comes from the file, and the
    // pending record does not overwrite it afterwards.
    prompts->answers.push_back(QMessageBox::Yes);
    w->mnuFileIndexDelete->trigger();
    const QString date = LibraryLayout::recordDateText(QFileInfo(slotFile(2)).lastModified().date());
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "3", date));
    EXPECT_FALSE(studio->library().isPending(2));
    EXPECT_TRUE(studio->library().retryPending());
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "3", date));
    EXPECT_EQ(slotList(), (QList<int>{2, 1}));
}

TEST_F(StudioTest, TheWindowShowsTheRemoteLinesAndTheSelectedEntryIsWhatThePlayInputPlays)
{
    auto wiring = std::make_shared<remote::VirtualWiring>();
    studio->remote().setOpener([wiring](const remote::LineMap& m) { return std::make_unique<remote::VirtualLines>(wiring, m.port); });
    writeSettings({{3, 3}, {5, 1}, {6, 2}, {9, 1}});
    writeIndex({indexRecordBytes("1", "ONE", "1", "12-01-26"), indexRecordBytes("1", "TWO", "1", "12-01-26")});
    open();
    auto* lines = w->findChild<QLabel*>("lblRemoteLines");
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->text(), "Remote lines: /dev/parport0  Record (pin 12) open  Stop (pin 13) open  Play (pin 10) open");
    clickSlot(2);
    EXPECT_EQ(studio->remote().selectedSlot(), 2);
    wiring->set(3, true); // pin 13
    wiring->advanceMs(30);
    studio->remote().poll();
    EXPECT_EQ(lines->text(), "Remote lines: /dev/parport0  Record (pin 12) open  Stop (pin 13) closed  Play (pin 10) open");
    wiring->unplug();
    studio->remote().poll();
    EXPECT_EQ(lines->text(), "Remote lines: /dev/parport0 - unplugged");
}
