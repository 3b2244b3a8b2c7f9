#pragma once
// An application object over a fresh root with scripted prompts, so no test waits on a box.
#include "app/Application.h"
#include "app/PromptService.h"
#include "tests/support/TestEnv.h"
#include <QColor>
#include <memory>
#include <ostream>

// Colours in failure messages as "#rrggbb".
inline void PrintTo(const QColor& colour, std::ostream* os) { *os << colour.name().toStdString(); }

class AppTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        newApp();
    }
    void TearDown() override
    {
        app.reset();
        TempRootTest::TearDown();
    }
    // A new application object (the old one ends first) over the same root; not started.
    void newApp()
    {
        app.reset();
        app = std::make_unique<tamblor::Application>(root());
        auto p = std::make_unique<tamblor::ScriptedPromptService>();
        prompts = p.get();
        app->setPrompts(std::move(p));
        app->clock().setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    tamblor::SharedState& state() { return app->state(); }

    std::unique_ptr<tamblor::Application> app;
    tamblor::ScriptedPromptService* prompts = nullptr;
};
