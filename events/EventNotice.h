#pragma once
// The main menu's line about the record events, and its question before the operator ends the
// program: "Recording NEWS" while an event records, else "Next: NEWS at 17:00, in 12 min" for
// the next enabled event; below it, while results other than OK wait to be seen, how many (so
// a missed or failed recording is told also to an operator who never opens the events window). The next start is planned again when an event changes, when it has
// come, and when the clock has gone back; the runs under way are read again when a run changes.
#include "app/MenuNotice.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <optional>

namespace tamblor {
class Application;
class Scheduler;
}

namespace tamblor::events {

class EventNotice : public QObject, public MenuNotice {
    Q_OBJECT
public:
    // Sets itself as the application's menu notice, and takes itself back when it goes; owned by
    // the event store (it goes with the studio, before the application).
    EventNotice(Application& app, Scheduler& scheduler, schedule::EventStore& events, schedule::RunStore& runs);
    ~EventNotice() override;

    QString line(const QDateTime& now) override;
    QString endQuestion(const QDateTime& now) override;

    struct Next {
        QString name;
        qint64 startMs = 0;
    };
    // The next start of an enabled event at or after `nowMs`.
    std::optional<Next> next(qint64 nowMs);
    // The name of the event whose input is open or take under way at `nowMs` (the scheduler's,
    // or a run without result whose start has come), or empty.
    QString recording(qint64 nowMs);
    // "2 results to see in Tools, Record Events", or empty.
    QString attention();

private:
    void readRuns();
    Application& app_;
    QPointer<Scheduler> scheduler_;
    QPointer<schedule::EventStore> events_;
    QPointer<schedule::RunStore> runs_;
    std::optional<Next> next_;
    qint64 plannedAtMs_ = 0;
    bool eventsChanged_ = true;
    std::vector<schedule::RecordRun> underWay_;
    size_t unseen_ = 0;
    bool runsChanged_ = true;
};

} // namespace tamblor::events
