#pragma once
// The program as main makes it (the application and the parts its windows stand on, every window
// registered) over a fresh root, its clock fixed on Monday 7 December 2026 at 16:48 and the
// studio's own timer stopped (the tests tick it), started: the program's database is open. The
// record events' windows are opened through the main menu.
#include "app/Application.h"
#include "app/mnuMenu.h"
#include "events/frmEditEvent.h"
#include "events/frmRecordEvents.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/VirtualBackend.h"
#include "program/ProgramParts.h"
#include "studio/Studio.h"
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
        parts = std::make_unique<tamblor::ProgramParts>(*app);
        studio = &parts->studio();
        studio->setTimerRunning(false);
        app->clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(16, 48, 0)));
        ASSERT_TRUE(parts->start());
        ASSERT_TRUE(studio->database().isOpen());
        menu = app->windows().find<tamblor::mnuMenu>(tamblor::WindowName::mnuMenu);
        ASSERT_TRUE(menu);
    }
    void endProgram()
    {
        studio = nullptr;
        menu = nullptr;
        parts.reset();
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
    // "Change..." on the window: the editor, opened on the selected event.
    tamblor::events::frmEditEvent* change(tamblor::events::frmRecordEvents* w)
    {
        w->cmdEdit->click();
        return editor();
    }
    // OK on the editor: true when it took what was typed and closed.
    bool accepted(tamblor::events::frmEditEvent* e)
    {
        e->cmdOK->click();
        flushDeletes();
        return editor() == nullptr;
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
    static qint64 ms(QDate day, QTime time) { return QDateTime(day, time).toMSecsSinceEpoch(); }
    // A run of an event due on `day` at `start`, with its result (none while under way); stored
    // by storeRun, by the caller once it has filled in more.
    static tamblor::schedule::RecordRun runOf(const tamblor::schedule::RecordEvent& e, QDate day, QTime start,
                                              std::optional<tamblor::schedule::RunResult> result)
    {
        tamblor::schedule::RecordRun r;
        r.eventId = e.id;
        r.eventName = e.name;
        r.scheduledStartMs = ms(day, start);
        r.result = result;
        return r;
    }
    tamblor::schedule::RecordRun storeRun(const tamblor::schedule::RecordEvent& e, QDate day, QTime start,
                                          std::optional<tamblor::schedule::RunResult> result)
    {
        tamblor::schedule::RecordRun r = runOf(e, day, start, result);
        studio->runs().append(r);
        return r;
    }
    // The program again on 44100 stereo, start mode Off, unity gain; with `cards` input cards, the
    // second chosen in the preferences when there are two.
    void restartOn44100Stereo(int cards = 1)
    {
        std::map<int, int16_t> records{{3, 3}, {5, 1}, {6, 0}, {11, 16384}};
        if (cards == 2)
            records.insert({{1, 0}, {2, 1}});
        writeAllBytes(native("C/Tamblor/MyComp.ini"), settingsBytes(records, 22));
        restartProgram();
        if (cards == 2)
            card().setInputDevices({"Virtual Input", "Studio Line"});
    }
    tamblor::audio::VirtualBackend& card() { return dynamic_cast<tamblor::audio::VirtualBackend&>(app->audio()); }
    // Steps the card, the clock and the studio by one tick of 50 ms.
    void step()
    {
        app->clock().advance(tamblor::Studio::TickMs);
        card().advance(44100 * tamblor::Studio::TickMs / 1000);
        studio->recording().input().waitIdle();
        studio->tick();
        studio->watch().waitIdle();
        QCoreApplication::processEvents();
    }
    QString menuLine()
    {
        menu->Timer1_Timer();
        return menu->findChild<QLabel*>("lblNotice")->text();
    }

    std::unique_ptr<tamblor::ProgramParts> parts;
    tamblor::Studio* studio = nullptr; // the parts' studio
    tamblor::mnuMenu* menu = nullptr;
};
