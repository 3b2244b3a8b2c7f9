#pragma once
// The program's windows over a started application, standing on the parts the program makes
// for them (the studio, the web service, the logger's reader), made as main makes them.
#include "app/Application.h"
#include "info/frmHelp.h"
#include "program/ProgramParts.h"
#include "tests/support/AppFixture.h"
#include <memory>

class ProgramTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        parts = std::make_unique<tamblor::ProgramParts>(*app);
        ASSERT_TRUE(parts->start());
        // The help window has its text, as in the program.
        ASSERT_TRUE(app->drives().fileExists(tamblor::frmHelp::HelpFile));
    }
    void TearDown() override
    {
        parts.reset();
        AppTest::TearDown();
    }

    std::unique_ptr<tamblor::ProgramParts> parts;
};
