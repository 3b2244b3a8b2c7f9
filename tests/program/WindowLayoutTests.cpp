// Every window at its smallest and at the size it opens with: no control is cut, squeezed to
// nothing or pushed out of sight. With TAMBLOR_SCREENSHOTS set, each is also saved as a picture
// (run under a real X server to see what the operator sees).
#include "app/Application.h"
#include "info/InfoWindows.h"
#include "studio/Studio.h"
#include "web/WebService.h"
#include "logger/LoggerReader.h"
#include "program/Windows.h"
#include "tests/support/AppFixture.h"
#include "tests/support/LayoutCheck.h"
#include <QCoreApplication>
#include <QWidget>
#include "app/Form.h"

using namespace tamblor;

class WindowLayoutTest : public AppTest, public ::testing::WithParamInterface<WindowName> {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        studio = std::make_unique<Studio>(*app);
        web = std::make_unique<web::WebService>(*app, *studio);
        logger = std::make_unique<logger::LoggerReader>(*app);
        registerWindows(*app, *studio, *web, *logger);
        ASSERT_TRUE(app->start());
        installHelpFileIfMissing(*app, shippedHelpFile(QCoreApplication::applicationDirPath())); // as the program does, so the help window has its text
        app->showMessage("6 Overflow"); // the message window with a text in it
    }
    void TearDown() override
    {
        app->windows().destroyAll();
        logger.reset();
        web.reset();
        studio.reset();
        AppTest::TearDown();
    }
    std::unique_ptr<Studio> studio;
    std::unique_ptr<web::WebService> web;
    std::unique_ptr<logger::LoggerReader> logger;
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
