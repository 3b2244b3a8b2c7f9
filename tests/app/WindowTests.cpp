#include "app/Application.h"
#include "app/frmError.h"
#include "app/frmNotices.h"
#include "app/mnuMenu.h"
#include "platform/Failure.h"
#include "tests/support/AppFixture.h"
#include "tests/support/LayoutCheck.h"
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace tamblor;

namespace {

// A stand-in tool window that counts its load and unload handlers.
struct Counts {
    int loads = 0;
    int unloads = 0;
};

class ToolWindow : public Form {
public:
    ToolWindow(Application& app, Counts& c) : Form(app, WindowName::frmWaveFiles), counts(c) {}
    Counts& counts;

protected:
    void Form_Load() override { ++counts.loads; }
    void Form_Unload(bool&) override { ++counts.unloads; }
};

QAction* action(QWidget* w, const char* name) { return w->findChild<QAction*>(name); }

} // namespace

class MainMenuTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51)));
        app->windows().registerWindow(WindowName::frmWaveFiles, [this](Application& a) { return new ToolWindow(a, counts); });
        ASSERT_TRUE(app->start());
        menu = app->windows().find<mnuMenu>(WindowName::mnuMenu);
        ASSERT_TRUE(menu);
    }
    mnuMenu* menu = nullptr;
    Counts counts;
};

TEST_F(MainMenuTest, MenuCarriesEveryEntryWithEditHidden)
{
    EXPECT_EQ(menu->windowTitle(), "Tamblor");
    const std::pair<const char*, const char*> entries[] = {
        {"mnuExit", "Exit"}, {"mnuMyPref", "My Prefences"}, {"mnuWaveFiles", "WaveFiles"},
        {"mnuEdit", "Edit"}, {"mnuNormalize", "Normalize"}, {"mnuWaveGen", "Wave Generator"},
        {"mnuRecordEvents", "Record Events"}, {"mnuLogger", "Logger"}, {"mnuNotices", "Notices"}, {"mnuHelp", "Help"},
        {"mnuAbout", "About"}};
    for (auto [name, caption] : entries) {
        QAction* a = action(menu, name);
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->text(), caption);
        EXPECT_EQ(a->isVisible(), QString(name) != "mnuEdit") << name;
    }
    EXPECT_EQ(menu->findChild<QMenu*>("mnuFiles")->title(), "Files");
    EXPECT_EQ(menu->findChild<QMenu*>("mnuSetup")->title(), "Setup");
    EXPECT_EQ(menu->findChild<QMenu*>("mnuTools")->title(), "Tools");
    // The record events and the logger come last in Tools, after the entries that were there before them.
    QStringList tools;
    for (QAction* a : menu->findChild<QMenu*>("mnuTools")->actions())
        tools << a->objectName();
    EXPECT_EQ(tools, QStringList({"mnuEdit", "mnuNormalize", "mnuWaveGen", "mnuRecordEvents", "mnuLogger"}));
}

TEST_F(MainMenuTest, ClockShowsDateDayOfYearAndTime)
{
    auto* clock = menu->findChild<QLabel*>("lblClock");
    EXPECT_EQ(clock->text(), "Saturday  12/05/2026  Day  339  08:07:51");
    app->clock().setFixed(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)));
    QTest::qWait(120); // the 50 ms timer rewrites it
    EXPECT_EQ(clock->text(), "Friday  01/01/2027  Day  1  00:00:05");
    app->clock().setLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(mnuMenu::clockText(app->clock().now(), app->clock()), "Freitag  01.01.2027  Day  1  00:00:05");
}

TEST_F(MainMenuTest, WindowsOpenOnceAndModeless)
{
    action(menu, "mnuWaveFiles")->trigger();
    Form* first = app->windows().find(WindowName::frmWaveFiles);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    action(menu, "mnuWaveFiles")->trigger();
    EXPECT_EQ(app->windows().find(WindowName::frmWaveFiles), first);
    EXPECT_EQ(counts.loads, 1);
    // Closed by the operator: unload runs; the next use loads a new one.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(counts.unloads, 1);
    EXPECT_EQ(app->windows().find(WindowName::frmWaveFiles), nullptr);
    action(menu, "mnuWaveFiles")->trigger();
    EXPECT_EQ(counts.loads, 2);
    // Entries whose window is not built do nothing.
    action(menu, "mnuAbout")->trigger();
}

TEST_F(MainMenuTest, AMinimizedWindowChosenAgainIsRestoredRaisedAndFocused)
{
    action(menu, "mnuWaveFiles")->trigger();
    Form* tool = app->windows().find(WindowName::frmWaveFiles);
    ASSERT_TRUE(tool);
    tool->showMinimized();
    menu->activateWindow();
    QTest::qWait(20);
    ASSERT_TRUE(tool->isMinimized());

    action(menu, "mnuWaveFiles")->trigger();
    EXPECT_EQ(app->windows().find(WindowName::frmWaveFiles), tool);
    EXPECT_FALSE(tool->isMinimized());
    EXPECT_TRUE(tool->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(tool));
    EXPECT_EQ(QApplication::activeWindow(), tool);
    EXPECT_EQ(counts.loads, 1);

    // A maximized window keeps its size when it comes back.
    tool->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    menu->activateWindow();
    action(menu, "mnuWaveFiles")->trigger();
    EXPECT_EQ(tool->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized), Qt::WindowMaximized);
}

TEST_F(MainMenuTest, ClosingTheMainMenuEndsTheProgramWithoutToolUnloads)
{
    action(menu, "mnuWaveFiles")->trigger();
    app->showMessage("hello");
    QPointer<Form> tool = app->windows().find(WindowName::frmWaveFiles);
    QSignalSpy ended(app.get(), &Application::programEnded);
    action(menu, "mnuExit")->trigger();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(tool.isNull());
    EXPECT_EQ(counts.unloads, 0);
}

class MessageWindowTest : public AppTest {};

TEST_F(MessageWindowTest, ShowReplacesAppendsAndReopensFresh)
{
    Application& app = *this->app;
    app.showMessage("first");
    app.showMessage("second");
    auto* w = app.windows().find<frmError>(WindowName::frmError);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "Error Message");
    auto* label = w->findChild<QLabel*>("lblMessage");
    EXPECT_EQ(label->text(), "second");
    EXPECT_EQ(w->findChild<QPushButton*>("OKButton")->text(), "OK");
    EXPECT_EQ(w->findChild<QPushButton*>("cmdOverRide")->text(), "OverRide");

    app.appendMessage(" and more");
    EXPECT_EQ(app.messageText(), "second and more");
    EXPECT_EQ(app.windows().find<frmError>(WindowName::frmError), w);

    QTest::mouseClick(w->findChild<QPushButton*>("cmdOverRide"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.windows().find(WindowName::frmError), nullptr);
    EXPECT_EQ(app.messageText(), "");

    app.showMessage("third");
    EXPECT_EQ(app.messageText(), "third");
    QTest::mouseClick(app.windows().find<frmError>(WindowName::frmError)->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.windows().find(WindowName::frmError), nullptr);
}

TEST_F(MessageWindowTest, TheShellShowsWhatTheCoreTells)
{
    ASSERT_TRUE(app->start());
    app->notices().fail("recording", Failure(Failure::DiskFull), "61 Disk full (C:\\Tamblor\\SF0002.wav)",
                        "C:\\Tamblor\\SF0002.wav");
    EXPECT_EQ(app->messageText(), "61 Disk full (C:\\Tamblor\\SF0002.wav)");
    app->notices().raise("silence", "silence alarm", "Silence on slot 2");
    EXPECT_EQ(app->messageText(), "Silence on slot 2");
    // A condition over leaves its message standing for the operator to read.
    app->notices().clear("silence");
    EXPECT_EQ(app->messageText(), "Silence on slot 2");
}

TEST_F(MainMenuTest, TheNoticesListKeepsEveryNoticeAndTheMenuShowsARaisedAlarmUntilItClears)
{
    auto* alarm = menu->findChild<QLabel*>("lblAlarm");
    ASSERT_TRUE(alarm);
    EXPECT_FALSE(alarm->isVisible());

    // Told before the list is opened: it shows them all the same, the newest first.
    app->notices().tell("scheduler", "NEWS: OK, 60 s in slot 3");
    app->notices().raise("silence:2", "silence alarm", "Silence on slot 2 for 30 s");
    EXPECT_TRUE(alarm->isVisible());
    EXPECT_EQ(alarm->text(), "Alarm: Silence on slot 2 for 30 s");
    // The next result replaces the message window's text, not the alarm on the main menu.
    app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 9, 0)));
    app->notices().tell("scheduler", "SPORT: Silent, 60 s in slot 4");
    EXPECT_EQ(app->messageText(), "SPORT: Silent, 60 s in slot 4");
    EXPECT_EQ(alarm->text(), "Alarm: Silence on slot 2 for 30 s");

    action(menu, "mnuNotices")->trigger();
    auto* list = app->windows().find<frmNotices>(WindowName::frmNotices);
    ASSERT_TRUE(list);
    auto* tree = list->findChild<QTreeWidget*>("lstNotices");
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "12/05/2026 08:09:00");
    EXPECT_EQ(tree->topLevelItem(0)->text(2), "SPORT: Silent, 60 s in slot 4");
    EXPECT_EQ(tree->topLevelItem(1)->text(1), "silence alarm");
    EXPECT_EQ(tree->topLevelItem(1)->text(2), "Warning: Silence on slot 2 for 30 s");
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "12/05/2026 08:07:51");
    EXPECT_TRUE(layoutcheck::saveScreenshot(list, "notices-after-an-alarm-and-results"));
    EXPECT_TRUE(layoutcheck::saveScreenshot(menu, "main-menu-with-an-alarm"));

    // The end of the alarm is listed too, and the main menu's line goes.
    app->notices().clear("silence:2");
    EXPECT_FALSE(alarm->isVisible());
    ASSERT_EQ(tree->topLevelItemCount(), 4);
    EXPECT_EQ(tree->topLevelItem(0)->text(2), "Over: Silence on slot 2 for 30 s");
}
