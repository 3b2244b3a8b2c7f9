// The library window's maintenance: deletion through the confirmation window, export and
// send to, the printed list and the reserved-slot commands.
#include "LibraryWindowFixture.h"
#include "wavefiles/LibraryPrinter.h"
#include "audio/jobs/Job.h"
#include "wavefiles/frmDialog1.h"
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTest>

using namespace tamblor;

namespace {

QString name25(const QString& n) { return IndexRecord::fit(n, 25); }

// Stands in for the send-to window; remembers the slot handed over when it opened.
class SendStub : public Form {
public:
    SendStub(Application& app, int& slot) : Form(app, WindowName::frmSend), slot_(slot) {}
    void openFor(int slot) override { slot_ = slot; }

private:
    int& slot_;
};

} // namespace

class MaintenanceWindowTest : public LibraryWindowTest {
protected:
    void openWithFourEntries()
    {
        writeIndex({rec("1", "DELTA", "5"), rec("1", "ALPHA", "125"), rec("1", "CHARLIE", "3725"),
                    rec("1", "BRAVO", "60")});
        for (int n = 1; n <= 4; ++n)
            writeAllBytes(slotFile(n), "RIFF");
        open();
        app->windows().registerWindow(WindowName::frmDialog1, [this](Application& a) { return new frmDialog1(a, studio->library()); });
    }
    // Selects the slot, opens the confirmation through the menu and answers it.
    frmDialog1* confirmFor(int slot)
    {
        clickSlot(slot);
        w->mnuDelete->trigger();
        return app->windows().find<frmDialog1>(WindowName::frmDialog1);
    }
    void pressDelete(frmDialog1* d)
    {
        QTest::mouseClick(d->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
        flushDeletes();
    }
};

TEST_F(MaintenanceWindowTest, ConfirmationNamesTheEntryAndCancelChangesNothing)
{
    openWithFourEntries();
    const QByteArray before = indexBytes();
    frmDialog1* d = confirmFor(3);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle(), "Delete CHARLIE?");
    EXPECT_EQ(d->findChild<QLabel*>("lblDialog1")->text(), "Are You Sure?");
    EXPECT_EQ(d->findChild<QPushButton*>("OKButton")->text(), "DELETE");
    auto* cancel = d->findChild<QPushButton*>("CancelButton");
    EXPECT_EQ(cancel->text(), "CANCEL");
    QTest::mouseClick(cancel, Qt::LeftButton);
    flushDeletes();
    EXPECT_EQ(app->windows().find(WindowName::frmDialog1), nullptr);
    EXPECT_EQ(indexBytes(), before);
    EXPECT_TRUE(QFile::exists(slotFile(3)));
}

TEST_F(MaintenanceWindowTest, DeletingAMiddleEntryFreesItsSlotAndSelectsTheOneAbove)
{
    openWithFourEntries();
    w->mnuViewNumber->trigger(); // a deletion always rebuilds in the names-first layout
    frmDialog1* d = confirmFor(3);
    const QByteArray charlie = recordBytes(3);
    pressDelete(d);
    EXPECT_FALSE(QFile::exists(slotFile(3)));
    QByteArray expected = charlie;
    expected[0] = '0'; // only the status changes
    EXPECT_EQ(recordBytes(3), expected);
    EXPECT_EQ(lines(), (QStringList{name25("ALPHA") + "     2", name25("BRAVO") + "     4",
                                    name25("DELTA") + "     1"}));
    EXPECT_EQ(selectedSlot(), 4); // BRAVO stood above CHARLIE
    EXPECT_EQ(w->txtName->text(), "BRAVO");
}

TEST_F(MaintenanceWindowTest, DeletingTheFirstLeavesNoSelectionAndTheOnlyLeavesAnEmptyList)
{
    openWithFourEntries();
    pressDelete(confirmFor(2)); // ALPHA is first
    EXPECT_EQ(slotList(), (QList<int>{4, 3, 1}));
    EXPECT_EQ(w->lstSoundFile->selectedRow(), -1);

    for (int slot : {4, 3})
        pressDelete(confirmFor(slot));
    EXPECT_EQ(slotList(), (QList<int>{1}));
    pressDelete(confirmFor(1));
    EXPECT_EQ(w->lstSoundFile->count(), 0);
    EXPECT_EQ(indexBytes().size(), 4 * 39); // the index never shrinks
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(recordBytes(n).left(1), "0") << n;
}

TEST_F(MaintenanceWindowTest, MissingSoundFileIsNoObstacleAndLeavesNoFileBehind)
{
    openWithFourEntries();
    QFile::remove(slotFile(4));
    pressDelete(confirmFor(4));
    EXPECT_EQ(recordBytes(4).left(1), "0");
    EXPECT_FALSE(QFile::exists(slotFile(4)));
    EXPECT_EQ(app->windows().find(WindowName::frmError), nullptr);
}

TEST_F(MaintenanceWindowTest, ConfirmationDeletesOnlyTheEntryItWasOpenedFor)
{
    openWithFourEntries();
    frmDialog1* d = confirmFor(1); // DELTA
    EXPECT_EQ(d->slot(), 1);
    clickSlot(2); // the operator looks at ALPHA meanwhile
    w->mnuHiddenPopupRefresh->trigger(); // and refreshes, which clears the selection
    ASSERT_EQ(w->lstSoundFile->selectedRow(), -1);
    QCoreApplication::processEvents();
    ASSERT_EQ(app->windows().find(WindowName::frmDialog1), d); // DELTA is still listed: the question stays
    pressDelete(d);
    EXPECT_EQ(recordBytes(1).left(1), "0");
    EXPECT_FALSE(QFile::exists(slotFile(1)));
    EXPECT_EQ(slotList(), (QList<int>{2, 4, 3}));
    for (int n = 2; n <= 4; ++n) {
        EXPECT_EQ(recordBytes(n).left(1), "1") << n;
        EXPECT_TRUE(QFile::exists(slotFile(n))) << n;
    }
}

TEST_F(MaintenanceWindowTest, ATakeRecordedWhileTheQuestionIsOpenIsNotWhatItDeletes)
{
    openWithFourEntries();
    frmDialog1* d = confirmFor(3); // CHARLIE
    click(w->cmdRecord);           // start mode Off: writing at once
    feed(8000);
    advanceClock(3);
    click(w->cmdStop);
    ASSERT_EQ(selectedSlot(), 5); // the new take is selected
    pressDelete(d);
    EXPECT_EQ(recordBytes(3).left(1), "0");
    EXPECT_EQ(recordBytes(5).left(1), "1");
    EXPECT_TRUE(QFile::exists(slotFile(5)));
}

TEST_F(MaintenanceWindowTest, TheQuestionClosesItselfWhenItsEntryGoesAway)
{
    openWithFourEntries();
    QPointer<frmDialog1> d = confirmFor(3);
    // The index changes under the window (another program freed slot 3); a refresh shows it.
    QByteArray freed = recordBytes(3);
    freed[0] = '0';
    QByteArray all = indexBytes();
    all.replace(2 * 39, 39, freed);
    writeAllBytes(indexPath(), all);
    w->mnuHiddenPopupRefresh->trigger();
    flushDeletes();
    EXPECT_TRUE(d.isNull());

    // Closing the library window takes an open question with it.
    d = confirmFor(4);
    ASSERT_FALSE(d.isNull());
    w->close();
    flushDeletes();
    flushDeletes();
    EXPECT_TRUE(d.isNull());
}

TEST_F(MaintenanceWindowTest, TheQuestionShowsTheWholeNameAndAfterADeleteTheDetailsAreEmpty)
{
    writeIndex({rec("1", "BREAKFAST SHOW OPENER WIT", "75"), rec("1", "ZULU", "5")});
    open();
    app->windows().registerWindow(WindowName::frmDialog1, [this](Application& a) { return new frmDialog1(a, studio->library()); });
    frmDialog1* d = confirmFor(1);
    EXPECT_EQ(d->windowTitle(), "Delete BREAKFAST SHOW OPENER WIT?");
    auto* name = d->findChild<QLabel*>("lblName");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->text(), "Delete BREAKFAST SHOW OPENER WIT?");
    EXPECT_TRUE(name->wordWrap());
    d->resize(d->minimumSizeHint());
    QCoreApplication::processEvents();
    EXPECT_LE(name->heightForWidth(name->width()), name->height()); // nothing of it is cut off

    pressDelete(d); // the first entry: nothing is selected afterwards
    EXPECT_EQ(w->lstSoundFile->selectedRow(), -1);
    for (QLineEdit* box : {w->txtNumber, w->txtName, w->txtLength, w->txtRecordDate})
        EXPECT_EQ(box->text(), "") << box->objectName().toStdString();
    EXPECT_EQ(w->lblNumber->text(), "");
    EXPECT_EQ(recordBytes(2), rec("1", "ZULU", "5")); // emptying the boxes stored nothing
    w->cmdPlay->click();
    EXPECT_EQ(app->messageText(), ""); // nothing left to play
}

TEST_F(MaintenanceWindowTest, FileThatCannotBeRemovedLeavesRecordAndList)
{
    openWithFourEntries();
    QFile::remove(slotFile(2));
    QDir().mkpath(slotFile(2) + "/blocker"); // a folder where the sound file should be
    const QByteArray before = indexBytes();
    pressDelete(confirmFor(2));
    EXPECT_FALSE(app->messageText().isEmpty());
    EXPECT_EQ(indexBytes(), before);
    EXPECT_EQ(w->lstSoundFile->count(), 4);
}

TEST_F(MaintenanceWindowTest, ExportAndSendToHandTheSelectedSlotOver)
{
    openWithFourEntries();
    int handed = -1;
    app->windows().registerWindow(WindowName::frmSend, [&handed](Application& a) { return new SendStub(a, handed); });
    w->mnuExport->trigger();
    EXPECT_EQ(app->messageText(), "No file was selected.");
    EXPECT_EQ(handed, -1);
    w->mnuHiddenPopupSendTo->trigger();
    EXPECT_EQ(app->messageText(), "No file was selected");
    clickSlot(3);
    w->mnuExport->trigger();
    EXPECT_EQ(handed, 3);
}

TEST_F(MaintenanceWindowTest, PrintFollowsTheListOrderWithTimesAndNumbers)
{
    openWithFourEntries();
    if (!LibraryPrinter::usesPdf())
        GTEST_SKIP() << "a real default printer is installed";
    w->mnuPrint->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->printJob().isRunning(); }, 60000));
    EXPECT_EQ(app->messageText(), "No printer is installed. The list was printed to C:\\Tamblor\\Sound Files.pdf");
    QProcess p;
    p.start("pdftotext", {"-layout", native("C/Tamblor/Sound Files.pdf"), "-"});
    ASSERT_TRUE(p.waitForFinished(20000));
    QStringList printed;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        if (!line.trimmed().isEmpty())
            printed << line.simplified();
    }
    EXPECT_EQ(printed, (QStringList{"ALPHA 02:05 2", "BRAVO 01:00 4", "CHARLIE 1:02:05 3", "DELTA 00:05 1"}));
}

TEST_F(MaintenanceWindowTest, PrintingSurvivesTheWindowGoingAwayMidJob)
{
    // The printout runs as a job while the window goes on: the operator may close the library
    // window, or end the program from the main menu, while the job is under way. The job is
    // dropped (not reported as printed), no part of a PDF file is left, and nothing touches the
    // window that has gone. The job waits at each step until the window has seen it.
    openWithFourEntries();
    if (!LibraryPrinter::usesPdf())
        GTEST_SKIP() << "a real default printer is installed";
    // The database's write-ahead log comes and goes with the database: it is not the printout's.
    const auto folderFiles = [this] {
        QStringList names = QDir(native("C/Tamblor")).entryList(QDir::Files | QDir::Hidden);
        names.removeIf([](const QString& n) { return n == "Tamblor.db-wal" || n == "Tamblor.db-shm"; });
        return names;
    };
    const QStringList files = folderFiles();
    QPointer<frmWaveFiles> library(w);
    w->printJob().setStepwise(true);
    QObject::connect(&w->printJob(), &jobs::Job::progressed, w, [this] { w->close(); });
    w->mnuPrint->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return library.isNull(); }, 60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(app->messageText(), ""); // the job was not reported as printed
    EXPECT_EQ(folderFiles(), files);

    w = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
    library = w;
    w->printJob().setStepwise(true);
    QObject::connect(&w->printJob(), &jobs::Job::progressed, w, [this] {
        QMetaObject::invokeMethod(app->windows().find(WindowName::mnuMenu), &QWidget::close, Qt::QueuedConnection);
    });
    w->mnuPrint->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return library.isNull(); }, 60000));
    EXPECT_TRUE(app->isEnding());
    EXPECT_EQ(folderFiles(), files);
}

TEST_F(MaintenanceWindowTest, ReservedSlotCommandsFromTheMenu)
{
    writeIndex({rec("1", "A"), rec("2", ""), rec("1", "B"), rec("2", "")});
    open();
    w->mnuFileIndexView->trigger();
    EXPECT_EQ(app->messageText(), "The following WaveFiles do not exist but are not available for use:  2, 4, ");
    const QByteArray before = indexBytes();
    prompts->answers = {QMessageBox::No};
    w->mnuFileIndexDelete->trigger();
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(prompts->asked[0].title, "Delete File Index");
    EXPECT_EQ(indexBytes(), before); // asked first; "No" changes nothing
    prompts->answers = {QMessageBox::Yes};
    w->mnuFileIndexDelete->trigger();
    EXPECT_EQ(recordBytes(2).left(1), "0");
    EXPECT_EQ(recordBytes(4).left(1), "0");
    EXPECT_EQ(recordBytes(3).left(1), "1");
}
