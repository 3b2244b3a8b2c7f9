#pragma once
// The record events in the program's database: add, change, remove, list. Every change is
// announced, so the scheduler plans again and any window listing events follows.
#include "schedule/RecordEvent.h"
#include <QObject>
#include <optional>
#include <vector>

namespace tamblor {
class Clock;
}
namespace tamblor::store {
class ProgramDatabase;
}

namespace tamblor::schedule {

class EventStore : public QObject {
    Q_OBJECT
public:
    EventStore(store::ProgramDatabase& database, Clock& clock, QObject* parent = nullptr);

    // Every event, by start time of day then name; nothing while the database is closed.
    std::vector<RecordEvent> all() const;
    std::optional<RecordEvent> find(qint64 id) const;
    // Stores a new event and returns its id (also set in `event`); its changedAtMs is now.
    // Throws Failure.
    qint64 add(RecordEvent& event);
    // Stores the event under its id; its changedAtMs is now. Throws Failure.
    void update(RecordEvent& event);
    void setEnabled(qint64 id, bool enabled);
    // Removes the event; its runs stay in the history under its name.
    void remove(qint64 id);

signals:
    // Added or changed.
    void eventChanged(qint64 id);
    void eventRemoved(qint64 id);

private:
    store::ProgramDatabase& database_;
    Clock& clock_;
};

} // namespace tamblor::schedule
