// Every window at its smallest and at the size it opens with: no control is cut, squeezed to
// nothing or pushed out of sight. With TAMBLOR_SCREENSHOTS set, each is also saved as a picture
// (run under a real X server to see what the operator sees).
#include "ProgramFixture.h"
#include "app/Form.h"
#include "tests/support/LayoutCheck.h"
#include <QCoreApplication>
#include <QWidget>

using namespace tamblor;

class WindowLayoutTest : public ProgramTest, public ::testing::WithParamInterface<WindowName> {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        if (HasFatalFailure())
            return;
        app->showMessage("6 Overflow"); // the message window with a text in it
    }
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
};

TEST_P(WindowLayoutTest, NothingIsCutAtTheSmallestOrTheOpeningSize)
{
    const QString name = GetParam().toString();
    QWidget* w = app->windows().show(GetParam());
    ASSERT_TRUE(w);
    settle();
    const QSize opening = w->size();
    EXPECT_EQ(layoutcheck::clippedControls(w).join("\n").toStdString(), "") << "at the opening size";
    layoutcheck::saveScreenshot(w, name + "-default");

    w->resize(1, 1); // as small as the window lets itself be made
    settle();
    EXPECT_GE(w->width(), w->minimumSizeHint().width());
    EXPECT_EQ(layoutcheck::clippedControls(w).join("\n").toStdString(), "") << "at the smallest size";
    layoutcheck::saveScreenshot(w, name + "-minimum");
    EXPECT_LE(w->width(), opening.width());
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, WindowLayoutTest,
                         ::testing::Values(WindowName::mnuMenu, WindowName::frmError, WindowName::frmMyPreferences,
                                           WindowName::frmWaveFiles, WindowName::frmDialog1, WindowName::frmSend,
                                           WindowName::frmNormalize, WindowName::frmWaveGen, WindowName::frmAbout,
                                           WindowName::frmHelp, WindowName::frmEditor, WindowName::frmRecordEvents,
                                           WindowName::frmEditEvent, WindowName::frmNotices, WindowName::frmWebServer,
                                           WindowName::frmLoggerExport, WindowName::frmLogger),
                         [](const auto& info) { return std::string(info.param.text()); });

// The windows of the record events and the logger on a screen of 1024 x 768, less a window manager's frame:
// whole at their opening size (made to fit), their smallest fits, nothing cut, also with the
// editor's check of the input and the runs' detail pane showing.
class SmallScreenLayoutTest : public WindowLayoutTest {};

TEST_P(SmallScreenLayoutTest, TheWindowFitsA1024By768ScreenWithNothingCut)
{
    const QSize screen(1024, 768 - 40);
    QWidget* w = app->windows().show(GetParam());
    ASSERT_TRUE(w);
    settle();
    EXPECT_LE(w->minimumSizeHint().width(), screen.width());
    EXPECT_LE(w->minimumSizeHint().height(), screen.height());
    w->resize(w->size().boundedTo(screen));
    settle();
    EXPECT_EQ(layoutcheck::clippedControls(w).join("\n").toStdString(), "") << "on 1024 x 768";
    layoutcheck::saveScreenshot(w, GetParam().toString() + "-1024x768");
}

INSTANTIATE_TEST_SUITE_P(SmallScreen, SmallScreenLayoutTest,
                         ::testing::Values(WindowName::frmRecordEvents, WindowName::frmEditEvent,
                                           WindowName::frmLoggerExport, WindowName::frmLogger),
                         [](const auto& info) { return std::string(info.param.text()); });
