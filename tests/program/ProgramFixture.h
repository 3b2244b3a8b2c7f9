#pragma once
// The program's windows over a started application, standing on what the program gives them
// (the studio, the web service, the logger's reader), registered as the program registers them.
#include "app/Application.h"
#include "info/InfoWindows.h"
#include "logger/LoggerReader.h"
#include "program/Windows.h"
#include "studio/Studio.h"
#include "tests/support/AppFixture.h"
#include "web/WebService.h"
#include <QCoreApplication>
#include <memory>

class ProgramTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        studio = std::make_unique<tamblor::Studio>(*app);
        web = std::make_unique<tamblor::web::WebService>(*app, *studio);
        logger = std::make_unique<tamblor::logger::LoggerReader>(*app);
        tamblor::registerWindows(*app, *studio, *web, *logger);
        ASSERT_TRUE(app->start());
        // As the program does, so the help window has its text.
        ASSERT_TRUE(tamblor::installHelpFileIfMissing(*app, tamblor::shippedHelpFile(QCoreApplication::applicationDirPath())));
    }
    void TearDown() override
    {
        app->windows().destroyAll();
        logger.reset();
        web.reset();
        studio.reset();
        AppTest::TearDown();
    }

    std::unique_ptr<tamblor::Studio> studio;
    std::unique_ptr<tamblor::web::WebService> web;
    std::unique_ptr<tamblor::logger::LoggerReader> logger;
};
