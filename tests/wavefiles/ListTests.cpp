// The library window's frame and list: load, line layouts, sorting, selection, editing in
// place, the number jump, the views, the right-button menu and the Delete key.
#include "LibraryWindowFixture.h"
#include "audio/widgets/Slider.h"
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>

using namespace tamblor;

namespace {

QString name25(const QString& n) { return IndexRecord::fit(n, 25); }

// A stand-in for the delete confirmation window, counting how often it was opened.
class StubDialog : public Form {
public:
    StubDialog(Application& app, int& opened) : Form(app, WindowName::frmDialog1) { ++opened; }
};

} // namespace

TEST_F(LibraryWindowTest, LoadBuildsEveryControlWithItsCaptionAndLimit)
{
    open();
    EXPECT_EQ(w->windowTitle(), "Record Mono");
    EXPECT_EQ(w->cmdRecord->text(), "&Record");
    EXPECT_EQ(w->cmdPlay->text(), "&Play");
    EXPECT_EQ(w->cmdPause->text(), "P&ause");
    EXPECT_EQ(w->cmdStop->text(), "&Stop");
    EXPECT_EQ(w->cmdClose->text(), "&Close");
    EXPECT_EQ(w->Check1->text(), "Auto Start");
    EXPECT_FALSE(w->Check1->isChecked());
    EXPECT_EQ(w->txtNumber->maxLength(), 3);
    EXPECT_EQ(w->txtName->maxLength(), 25);
    EXPECT_EQ(w->txtLength->maxLength(), 8);
    EXPECT_EQ(w->txtRecordDate->maxLength(), 8);
    EXPECT_EQ(w->Slider->maxValue(), 32768);
    EXPECT_EQ(w->Slider->orientation(), Qt::Vertical);
    EXPECT_EQ(w->Slider->toolTip(), "Sets incoming audio level");
    EXPECT_EQ(w->Label3->toolTip(), "Click to reset slider to 0 db");
    EXPECT_EQ(w->Timer1->interval(), 50);
    EXPECT_EQ(colour(w->cmdPlay), QColor(0, 128, 0));
    EXPECT_EQ(colour(w->cmdPause), QColor(255, 255, 192));
    for (const char* label : {"lblName", "lblLength", "lblDate"})
        ASSERT_TRUE(w->findChild<QLabel*>(label)) << label;
    EXPECT_EQ(w->findChild<QLabel*>("lblName")->text(), "Name");
    EXPECT_EQ(w->findChild<QLabel*>("lblLength")->text(), "Length");
    EXPECT_EQ(w->findChild<QLabel*>("lblDate")->text(), "Date");
    for (const char* name : {"lstSoundFile", "txtNumber", "lblNumber", "txtName", "txtLength", "txtRecordDate",
                             "cmdRecord", "cmdPlay", "cmdPause", "cmdStop", "cmdClose", "Check1", "Slider",
                             "TrackBar", "Label1", "Label3", "lblTime", "Level1", "Level2", "Timer1"})
        EXPECT_TRUE(w->findChild<QObject*>(name)) << name;

    const std::pair<const char*, const char*> actions[] = {
        {"mnuExport", "Export"}, {"mnuPrint", "Print"},
        {"mnuFileIndexView", "View Index that may need updating"}, {"mnuFileIndexDelete", "Delete File Index"},
        {"mnuExit", "Exit"}, {"mnuViewName", "Names"}, {"mnuViewNumber", "Number"}, {"mnuDelete", "&Delete"},
        {"mnuImportFile", "&ImportFile"}, {"mnuCDRip", "CDRip"}, {"mnuHiddenPopupPlay", "Play"},
        {"mnuHiddenPopupStop", "Stop"}, {"mnuHiddenPopupRefresh", "Refresh"},
        {"mnuHiddenPopupSendTo", "Send To"}, {"mnuHiddenPopupDelete", "Delete"}};
    for (auto [name, caption] : actions) {
        auto* a = w->findChild<QAction*>(name);
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->text(), caption);
    }
    EXPECT_FALSE(w->mnuDelete->isVisible());
    EXPECT_FALSE(w->mnuImportFile->isVisible());
    EXPECT_FALSE(w->mnuCDRip->isVisible());
    EXPECT_EQ(w->findChild<QMenu*>("mnuFiles")->title(), "Files");
    EXPECT_EQ(w->findChild<QMenu*>("mnuFileIndex")->title(), "File Index");
    EXPECT_EQ(w->findChild<QMenu*>("mnuView")->title(), "View");
    EXPECT_FALSE(w->mnuHiddenPopup->isVisible());

    // A fresh settings file gives unity (0 dB), and the slider's change handling stores it.
    EXPECT_EQ(w->Slider->position(), 16384);
    EXPECT_EQ(w->Label3->text(), "0.0 dB");
    EXPECT_EQ(readAllBytes(native("C/Tamblor/MyComp.ini")), QByteArray(21, '\0') + '@');

    // Close and Exit unload the window.
    click(w->cmdClose);
    flushDeletes();
    EXPECT_FALSE(app->windows().find(WindowName::frmWaveFiles));
    w = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
    w->mnuExit->trigger();
    flushDeletes();
    EXPECT_FALSE(app->windows().find(WindowName::frmWaveFiles));
}

TEST_F(LibraryWindowTest, LoadTakesTheRecordingSetUpFromTheSettings)
{
    // Stereo, 22050 per second, VOX, level 8192 (-6 dB).
    writeSettings({{3, 2}, {5, 1}, {6, 1}, {7, 5000}, {11, 8192}});
    open();
    EXPECT_EQ(w->windowTitle(), "Record Stereo");
    EXPECT_TRUE(w->Check1->isChecked());
    EXPECT_EQ(w->WaveIn().sampleRate(), 22050);
    EXPECT_EQ(w->WaveIn().channels(), 2);
    EXPECT_EQ(w->Slider->position(), 8192);
    EXPECT_EQ(w->WaveIn().gain(), 8192);
    EXPECT_EQ(w->Label3->text(), "-6.0 dB");
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);

    // The ADPCM formats record at 44100; a channel mode out of range keeps the design caption.
    newApp();
    writeSettings({{3, 5}, {5, 2}});
    open();
    EXPECT_EQ(w->windowTitle(), "WaveFiles");
    EXPECT_EQ(w->WaveIn().sampleRate(), 44100);
}

TEST_F(LibraryWindowTest, AWindowThatCannotLoadIsReportedAndLeftClosed)
{
    // The settings file went away under the running program (here: a folder stands in its
    // place). Opening the library from the main menu reports the failure; the program goes on
    // and no half-loaded window is left behind.
    writeIndex({rec("1", "one")});
    app->windows().registerWindow(WindowName::frmWaveFiles, [this](Application& a) { return new frmWaveFiles(a, *studio); });
    app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51)));
    ASSERT_TRUE(app->start());
    const QString settings = native("C/Tamblor/MyComp.ini");
    ASSERT_TRUE(QFile::remove(settings));
    ASSERT_TRUE(QDir().mkpath(settings));
    QAction* opener = app->windows().find(WindowName::mnuMenu)->findChild<QAction*>("mnuWaveFiles");
    ASSERT_TRUE(opener);
    EXPECT_NO_THROW(opener->trigger());
    EXPECT_EQ(app->windows().find(WindowName::frmWaveFiles), nullptr);
    EXPECT_FALSE(app->messageText().isEmpty());
    EXPECT_FALSE(app->isEnding());

    // Once the file is back the window opens and loads as usual.
    ASSERT_TRUE(QDir().rmdir(settings));
    writeSettings({{11, 16384}});
    opener->trigger();
    w = app->windows().find<frmWaveFiles>(WindowName::frmWaveFiles);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Slider->position(), 16384);
    EXPECT_EQ(lines(), QStringList({name25("one") + "    1"}));
}

TEST_F(LibraryWindowTest, ViewsLayOutNamesAndNumbersInTheirColumns)
{
    writeIndex({rec("0", "FREE"), rec("1", "Zulu"), rec("2", "RESERVED"), rec("x", "OTHER"), rec("0", ""),
                rec("0", ""), rec("0", ""), rec("0", ""), rec("0", ""), rec("1", "alpha")});
    QByteArray all = indexBytes();
    for (int n = 11; n <= 99; ++n)
        all += rec("0", "");
    all += rec("1", "Mike");
    writeAllBytes(indexPath(), all);
    open();

    // Names first: the name with all 25 characters, two blanks, the number in three columns.
    EXPECT_EQ(lines(), QStringList({name25("alpha") + "   10", name25("Mike") + "  100", name25("Zulu") + "    2"}));
    EXPECT_EQ(slotList(), QList<int>({10, 100, 2}));
    EXPECT_EQ(selectedSlot(), 0);

    w->mnuViewNumber->trigger();
    EXPECT_EQ(lines(), QStringList({"  2  " + name25("Zulu"), " 10  " + name25("alpha"), "100  " + name25("Mike")}));
    EXPECT_EQ(slotList(), QList<int>({2, 10, 100}));

    // Refresh rebuilds names first with four-column numbers, whatever the view, unselected.
    w->mnuHiddenPopupRefresh->trigger();
    EXPECT_EQ(lines(), QStringList({name25("alpha") + "    10", name25("Mike") + "   100", name25("Zulu") + "     2"}));
    EXPECT_EQ(selectedSlot(), 0);

    w->mnuViewName->trigger();
    EXPECT_EQ(lines().first(), name25("alpha") + "   10");

    // Each load starts with names again.
    w->mnuViewNumber->trigger();
    reopen();
    EXPECT_EQ(lines().first(), name25("alpha") + "   10");
}

TEST_F(LibraryWindowTest, ListSortsByFoldedCaseWithBlanksDigitsAndParenthesesFirst)
{
    writeIndex({rec("1", "beta"), rec("1", "ALPHA"), rec("1", "(No Name 003 ****)"), rec("1", "Alpha"),
                rec("1", "alpha 2"), rec("1", "1 take"), rec("1", "alphab")});
    open();
    EXPECT_EQ(slotList(), QList<int>({3, 6, 2, 4, 5, 7, 1}));

    EXPECT_LT(SortedListBox::compareTexts(" ", "0"), 0);
    EXPECT_LT(SortedListBox::compareTexts("(", "0"), 0);
    EXPECT_LT(SortedListBox::compareTexts("9", "a"), 0);
    EXPECT_LT(SortedListBox::compareTexts("(", "A"), 0);
    EXPECT_EQ(SortedListBox::compareTexts("abc", "ABC"), 0);
    EXPECT_LT(SortedListBox::compareTexts("ab", "abc"), 0);
    // Numbers right-aligned in a fixed width sort numerically.
    EXPECT_LT(SortedListBox::compareTexts("  9", " 10"), 0);
    EXPECT_LT(SortedListBox::compareTexts(" 99", "100"), 0);
}

TEST_F(LibraryWindowTest, SelectionFillsTheDetailsAndStoresTheShownValuesBack)
{
    writeIndex({rec("1", "first"), rec("1", "  hello", "3725", "11-30-26"), rec("1", "zz", "abc")});
    open();
    EXPECT_EQ(app->fields<LibraryWindowFields>().SelectedSlot, 0);
    clickSlot(2);
    EXPECT_EQ(selectedSlot(), 2);
    EXPECT_EQ(app->fields<LibraryWindowFields>().SelectedSlot, 2);
    EXPECT_EQ(w->txtNumber->text(), "2");
    EXPECT_EQ(w->lblNumber->text(), "2");
    EXPECT_EQ(w->txtName->text(), "hello");
    EXPECT_EQ(w->txtLength->text(), " 1:02:05");
    EXPECT_EQ(w->txtRecordDate->text(), "11-30-26");
    EXPECT_TRUE(w->mnuDelete->isVisible());
    EXPECT_TRUE(w->mnuHiddenPopupDelete->isEnabled());
    EXPECT_TRUE(w->cmdPlay->isVisible());
    // The name loses its leading blanks and is stored in upper case; 3725 reads back as 3725.
    EXPECT_EQ(recordBytes(2), rec("1", "HELLO", "3725", "11-30-26"));
    EXPECT_EQ(recordBytes(1), rec("1", "first"));

    // A length that is no number shows 00:00 and is stored as 0.
    clickSlot(3);
    EXPECT_EQ(w->txtLength->text(), "00:00");
    EXPECT_EQ(recordBytes(3), rec("1", "ZZ", "0"));

    // Clicking the entry that is already selected runs the selection again.
    w->txtName->setText("changed");
    clickSlot(3);
    EXPECT_EQ(w->txtName->text(), "CHANGED");
}

TEST_F(LibraryWindowTest, EditingStoresEveryKeystrokeAndEnterRebuildsTheList)
{
    writeIndex({rec("1", "one", "5"), rec("1", "two", "7"), rec("1", "three", "9")});
    open();
    w->mnuViewNumber->trigger();
    clickSlot(2);
    QTest::mouseDClick(w->txtName, Qt::LeftButton);
    EXPECT_EQ(w->txtName->text(), "");
    EXPECT_EQ(recordBytes(2), rec("1", "", "7"));
    QTest::keyClicks(w->txtName, "ab");
    EXPECT_EQ(recordBytes(2), rec("1", "AB", "7"));
    QTest::keyClicks(w->txtName, "c");
    EXPECT_EQ(recordBytes(2), rec("1", "ABC", "7"));
    EXPECT_EQ(lines()[1], "  2  " + name25("two")); // the line waits for Enter

    // The length box: every keystroke parses the text and stores the seconds.
    w->txtLength->selectAll();
    QTest::keyClicks(w->txtLength, "2:05");
    EXPECT_EQ(recordBytes(2), rec("1", "ABC", "125"));
    QTest::keyClick(w->txtLength, Qt::Key_Backspace); // "2:0" reads as 0 seconds
    EXPECT_EQ(recordBytes(2), rec("1", "ABC", "0"));
    QTest::keyClicks(w->txtLength, "50");
    EXPECT_EQ(w->txtLength->text(), "2:050");
    EXPECT_EQ(recordBytes(2), rec("1", "ABC", "7250")); // 0 + 10 x 5 + 3600 x 2

    QTest::keyClick(w->txtName, Qt::Key_Return);
    EXPECT_EQ(lines(), QStringList({name25("ABC") + "     2", name25("one") + "     1", name25("three") + "     3"}));
    EXPECT_EQ(selectedSlot(), 2);
    EXPECT_EQ(w->lstSoundFile->topIndex(), 0);
    EXPECT_EQ(w->txtLength->text(), " 2:00:50");

    // A name typed longer than the box allows is cut at 25 characters.
    QTest::mouseDClick(w->txtName, Qt::LeftButton);
    QTest::keyClicks(w->txtName, "abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(w->txtName->text(), "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(recordBytes(2).mid(1, 25), "ABCDEFGHIJKLMNOPQRSTUVWXY");
}

TEST_F(LibraryWindowTest, DoubleClickedNameThenAnotherEntryLeavesTheFirstNameBlank)
{
    writeIndex({rec("1", "one"), rec("1", "two")});
    open();
    clickSlot(1);
    QTest::mouseDClick(w->txtName, Qt::LeftButton);
    clickSlot(2);
    EXPECT_EQ(recordBytes(1), rec("1", ""));
    EXPECT_EQ(recordBytes(2), rec("1", "TWO"));
    EXPECT_EQ(w->txtName->text(), "two"); // the box shows the name as it was read
}

TEST_F(LibraryWindowTest, NumberBoxJumpsToAnEntryAndNeverMovesTheTakeSlot)
{
    QList<QByteArray> records;
    for (int n = 1; n <= 60; ++n)
        records << rec(n == 7 ? "0" : "1", QString::asprintf("N%02d", n));
    writeIndex(records);
    open();
    w->resize(600, 300);

    QTest::keyClicks(w->txtNumber, "7");
    QTest::keyClick(w->txtNumber, Qt::Key_Return);
    EXPECT_EQ(selectedSlot(), 0); // slot 7 is free

    QTest::mouseDClick(w->txtNumber, Qt::LeftButton);
    EXPECT_EQ(w->txtNumber->text(), "");
    QTest::keyClicks(w->txtNumber, "30");
    QTest::keyClick(w->txtNumber, Qt::Key_Enter);
    EXPECT_EQ(selectedSlot(), 30);
    EXPECT_EQ(w->lstSoundFile->topIndex(), w->lstSoundFile->findItemData(30));
    EXPECT_EQ(w->txtName->text(), "N30");
    // Neither the jump nor the rename through the selection touches the slot of a take.
    EXPECT_EQ(studio->recording().slot(), 0);

    for (const char* text : {"0", "901", "abc", "999"}) {
        w->txtNumber->setText(text);
        QTest::keyClick(w->txtNumber, Qt::Key_Return);
        EXPECT_EQ(selectedSlot(), 30) << text;
        EXPECT_EQ(studio->recording().slot(), 0) << text;
    }
}

TEST_F(LibraryWindowTest, SelectedSlotOutlivesTheWindow)
{
    writeIndex({rec("1", "one"), rec("1", "two")});
    open();
    clickSlot(2);
    reopen();
    EXPECT_EQ(app->fields<LibraryWindowFields>().SelectedSlot, 2);
    EXPECT_EQ(selectedSlot(), 0); // the list starts without a selection
    EXPECT_FALSE(w->mnuDelete->isVisible());
}

TEST_F(LibraryWindowTest, DeleteKeyAndRightButtonOfferTheirMenusOnlyOverASelection)
{
    int dialogs = 0;
    app->windows().registerWindow(WindowName::frmDialog1, [&](Application& a) { return new StubDialog(a, dialogs); });
    writeIndex({rec("1", "one"), rec("1", "two")});
    open();
    w->lstSoundFile->setFocus();
    QTest::keyClick(w->lstSoundFile, Qt::Key_Delete);
    EXPECT_EQ(dialogs, 0);
    const QPoint onFirst = w->lstSoundFile->visualItemRect(w->lstSoundFile->item(0)).center();
    QSignalSpy offered(w->mnuHiddenPopup, &QMenu::aboutToShow);
    w->lstSoundFile_MouseUp(Qt::RightButton, w->lstSoundFile->mapToGlobal(onFirst));
    EXPECT_EQ(offered.size(), 0);

    clickSlot(1);
    QTest::keyClick(w->lstSoundFile, Qt::Key_Delete);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(app->windows().find(WindowName::frmDialog1));
    app->windows().find(WindowName::frmDialog1)->close();

    // The arrow keys select too.
    QTest::keyClick(w->lstSoundFile, Qt::Key_Down);
    EXPECT_EQ(selectedSlot(), 2);
    EXPECT_EQ(w->txtName->text(), "two");

    QSignalSpy shown(w->mnuHiddenPopup, &QMenu::aboutToShow);
    QTest::mouseClick(w->lstSoundFile->viewport(), Qt::RightButton, {}, onFirst);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.size(), 1); // offered at the pointer on the right button's release
    w->mnuHiddenPopup->hide();
}
