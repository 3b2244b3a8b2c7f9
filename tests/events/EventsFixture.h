#pragma once
// The program as main makes it (the application, the studio, every window registered) over a
// fresh root, its clock fixed on Monday 7 December 2026 at 16:48, started: the program's
// database is open. The record events' windows are opened through the main menu.
#include "app/Application.h"
#include "app/mnuMenu.h"
#include "events/frmEditEvent.h"
#include "events/frmRecordEvents.h"
#include "studio/Studio.h"
#include "program/Windows.h"
#include "web/WebService.h"
#include "logger/LoggerReader.h"
#include "tests/support/AppFixture.h"
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <QTreeWidget>

class EventsTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        startProgram();
    }
    void TearDown() override
    {
        endProgram();
        AppTest::TearDown();
    }
    void startProgram()
    {
        studio = std::make_unique<tamblor::Studio>(*app);
        studio->setTimerRunning(false);
        web = std::make_unique<tamblor::web::WebService>(*app, *studio);
        logger = std::make_unique<tamblor::logger::LoggerReader>(*app);
        tamblor::registerWindows(*app, *studio, *web, *logger);
        app->clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(16, 48, 0)));
        ASSERT_TRUE(app->start());
        ASSERT_TRUE(studio->database().isOpen());
        menu = app->windows().find<tamblor::mnuMenu>(tamblor::WindowName::mnuMenu);
        ASSERT_TRUE(menu);
    }
    void endProgram()
    {
        if (app)
            app->windows().destroyAll();
        logger.reset();
        web.reset();
        studio.reset();
    }
    // A new program over the same root, as after a restart.
    void restartProgram()
    {
        endProgram();
        newApp();
        startProgram();
    }

    QAction* action(const char* name) const { return menu->findChild<QAction*>(name); }
    // "Tools", "Record Events" on the main menu.
    tamblor::events::frmRecordEvents* openEvents()
    {
        action("mnuRecordEvents")->trigger();
        auto* w = app->windows().find<tamblor::events::frmRecordEvents>(tamblor::WindowName::frmRecordEvents);
        if (w)
            w->Timer1->stop();
        return w;
    }
    tamblor::events::frmEditEvent* editor() const
    {
        return app->windows().find<tamblor::events::frmEditEvent>(tamblor::WindowName::frmEditEvent);
    }
    static void flushDeletes()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The texts of one row of a list.
    static QStringList row(const QTreeWidget* list, int index)
    {
        QStringList out;
        const QTreeWidgetItem* item = list->topLevelItem(index);
        for (int c = 0; item && c < list->columnCount(); ++c)
            out << item->text(c);
        return out;
    }
    // An event stored directly, as another window or a restart would leave it.
    tamblor::schedule::RecordEvent storeEvent(const QString& name, QTime start, int lengthSeconds,
                                              int weekdays = tamblor::schedule::RecordEvent::Weekdays)
    {
        tamblor::schedule::RecordEvent e;
        e.name = name;
        e.start = start;
        e.weekdays = weekdays;
        e.lengthSeconds = lengthSeconds;
        studio->events().add(e);
        return e;
    }
    qint64 ms(QDate day, QTime time) const { return QDateTime(day, time).toMSecsSinceEpoch(); }
    QString menuLine()
    {
        menu->Timer1_Timer();
        return menu->findChild<QLabel*>("lblNotice")->text();
    }

    std::unique_ptr<tamblor::Studio> studio;
    std::unique_ptr<tamblor::web::WebService> web;
    std::unique_ptr<tamblor::logger::LoggerReader> logger;
    tamblor::mnuMenu* menu = nullptr;
};
