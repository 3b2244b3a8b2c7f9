// The library window's maintenance: deletion through the confirmation window, export and
// send to, the printed list and the reserved-slot commands.
#include "LibraryWindowFixture.h"
#include "library/maintenance/LibraryPrinter.h"
#include "library/window/frmDialog1.h"
#include <QFile>
#include <QPointer>
#include <QProcess>

using namespace tamblor;

namespace {

QString name25(const QString& n) { return IndexRecord::fit(n, 25); }

// Stands in for the send-to window; remembers the slot handed over when it opened.
class SendStub : public Form {
public:
    SendStub(Application& app, int& slot) : Form(app, "frmSend") { slot = app.state().SendSlot; }
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
        app->windows().registerWindow("frmDialog1", [](Application& a) { return new frmDialog1(a); });
    }
    // Selects the slot, opens the confirmation through the menu and answers it.
    frmDialog1* confirmFor(int slot)
    {
        clickSlot(slot);
        w->mnuDelete->trigger();
        return app->windows().find<frmDialog1>("frmDialog1");
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
    EXPECT_EQ(app->windows().find("frmDialog1"), nullptr);
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
    EXPECT_EQ(app->windows().find("frmError"), nullptr);
}

TEST_F(MaintenanceWindowTest, NoSelectionWhenDeletePressedReportsAndDeletesNothing)
{
    openWithFourEntries();
    frmDialog1* d = confirmFor(1);
    w->mnuHiddenPopupRefresh->trigger(); // a refresh while the dialog is open clears the selection
    ASSERT_EQ(w->lstSoundFile->selectedRow(), -1);
    const QByteArray before = indexBytes();
    pressDelete(d);
    EXPECT_EQ(app->messageText(), "381 Invalid property array index");
    EXPECT_EQ(indexBytes(), before);
    EXPECT_TRUE(QFile::exists(slotFile(1)));
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
    app->windows().registerWindow("frmSend", [&handed](Application& a) { return new SendStub(a, handed); });
    w->mnuExport->trigger();
    EXPECT_EQ(app->messageText(), "No file was selected.");
    EXPECT_EQ(handed, -1);
    w->mnuHiddenPopupSendTo->trigger();
    EXPECT_EQ(app->messageText(), "No file was selected");
    clickSlot(3);
    w->mnuExport->trigger();
    EXPECT_EQ(handed, 3);
    EXPECT_EQ(app->state().SendSlot, 3);
}

TEST_F(MaintenanceWindowTest, PrintFollowsTheListOrderWithTimesAndNumbers)
{
    openWithFourEntries();
    if (!LibraryPrinter::usesPdf())
        GTEST_SKIP() << "a real default printer is installed";
    w->mnuPrint->trigger();
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
    // The printout lets pending events run between lines: the operator may close the library
    // window, or end the program from the main menu, while the job is under way. The job is
    // dropped (not reported as printed) and nothing touches the window that has gone.
    openWithFourEntries();
    if (!LibraryPrinter::usesPdf())
        GTEST_SKIP() << "a real default printer is installed";
    QPointer<frmWaveFiles> library(w);
    QTimer::singleShot(0, app.get(), [this] { w->close(); });
    w->mnuPrint->trigger();
    flushDeletes();
    EXPECT_FALSE(library);
    EXPECT_EQ(app->messageText(), ""); // the job was not reported as printed

    w = app->windows().show<frmWaveFiles>("frmWaveFiles");
    library = w;
    QTimer::singleShot(0, app.get(), [this] { app->windows().find("mnuMenu")->close(); });
    w->mnuPrint->trigger();
    EXPECT_TRUE(app->isEnding());
    EXPECT_FALSE(library);
}

TEST_F(MaintenanceWindowTest, ReservedSlotCommandsFromTheMenu)
{
    writeIndex({rec("1", "A"), rec("2", ""), rec("1", "B"), rec("2", "")});
    open();
    w->mnuFileIndexView->trigger();
    EXPECT_EQ(app->messageText(), "The following WaveFiles do not exist but are not available for use:  2, 4, ");
    w->mnuFileIndexDelete->trigger();
    EXPECT_EQ(recordBytes(2).left(1), "0");
    EXPECT_EQ(recordBytes(4).left(1), "0");
    EXPECT_EQ(recordBytes(3).left(1), "1");
}
