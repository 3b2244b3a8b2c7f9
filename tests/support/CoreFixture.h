#pragma once
// The core alone over a fresh root, as a program without windows has it: no application
// object, no message window. What the core tells the operator is kept as notices to read.
#include "core/Core.h"
#include "tests/support/TestEnv.h"
#include <QLocale>
#include <QStringList>
#include <memory>

class CoreTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        newCore();
    }
    void TearDown() override
    {
        core.reset();
        TempRootTest::TearDown();
    }
    // A new core (the old one ends first) over the same root; not started.
    void newCore()
    {
        core.reset();
        told.clear();
        core = std::make_unique<tamblor::Core>(root());
        core->clock().setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        QObject::connect(&core->notices(), &tamblor::Notices::posted, [this](const tamblor::Notice& n) { told << n.text; });
    }
    // The last text the core told, empty when none.
    QString lastTold() const { return told.isEmpty() ? QString() : told.last(); }

    std::unique_ptr<tamblor::Core> core;
    QStringList told;
};
