#include "schedule/EventStore.h"
#include "platform/Clock.h"
#include "store/ProgramDatabase.h"

namespace tamblor::schedule {

using store::Statement;

namespace {

// An event's columns after its id, in the order bindFields binds them (?1..?19) and eventOf
// reads them (1..19, after the id in 0).
const QStringList& fields()
{
    static const QStringList list{"name", "start_s", "weekdays", "on_date", "end_kind", "length_s", "end_s",
                                  "input_device", "input_format", "input_channels", "destination", "name_template",
                                  "fixed_slot", "after_action", "target", "ceiling", "enabled", "changed_at",
                                  "input_device_name"};
    return list;
}

QString columns() { return "id, " + fields().join(", "); }

int secondsOf(const QTime& t)
{
    return t.msecsSinceStartOfDay() / 1000;
}

QTime timeOf(int seconds)
{
    return QTime(0, 0).addSecs(seconds);
}

RecordEvent eventOf(const Statement& s)
{
    RecordEvent e;
    e.id = s.int64At(0);
    e.name = s.textAt(1);
    e.start = timeOf(s.intAt(2));
    e.weekdays = s.intAt(3);
    e.date = s.isNull(4) ? QDate() : QDate::fromString(s.textAt(4), Qt::ISODate);
    e.endKind = s.intAt(5) == 1 ? EndKind::TimeOfDay : EndKind::Length;
    e.lengthSeconds = s.intAt(6);
    e.end = timeOf(s.intAt(7));
    e.device = s.optionalIntAt(8);
    e.format = s.optionalIntAt(9);
    e.channels = s.optionalIntAt(10);
    e.destination = s.intAt(11) == 1 ? Destination::FixedSlot : Destination::FirstFree;
    e.nameTemplate = s.textAt(12);
    e.fixedSlot = s.isNull(13) ? 0 : s.intAt(13);
    switch (s.intAt(14)) {
    case 1:
        e.after = AfterRecording::PeakNormalize;
        if (!s.isNull(15))
            e.peakPercent = static_cast<int>(s.doubleAt(15));
        break;
    case 2:
        e.after = AfterRecording::LoudnessNormalize;
        if (!s.isNull(15))
            e.loudnessLufs = s.doubleAt(15);
        if (!s.isNull(16))
            e.ceilingDbtp = s.doubleAt(16);
        break;
    default: e.after = AfterRecording::Nothing; break;
    }
    e.enabled = s.int64At(17) != 0;
    e.changedAtMs = s.int64At(18);
    e.deviceName = s.textAt(19);
    return e;
}

// Binds the fields of an event as ?1..?19 in the order of fields().
void bindFields(Statement& s, const RecordEvent& e)
{
    s.bind(1, e.name);
    s.bind(2, secondsOf(e.start));
    s.bind(3, e.weekdays);
    if (e.isOneShot())
        s.bind(4, e.date.toString(Qt::ISODate));
    else
        s.bindNull(4);
    s.bind(5, e.endKind == EndKind::TimeOfDay ? 1 : 0);
    s.bind(6, e.lengthSeconds);
    s.bind(7, secondsOf(e.end));
    s.bind(8, e.device);
    s.bind(9, e.format);
    s.bind(10, e.channels);
    s.bind(11, e.destination == Destination::FixedSlot ? 1 : 0);
    s.bind(12, e.nameTemplate);
    if (e.destination == Destination::FixedSlot)
        s.bind(13, e.fixedSlot);
    else
        s.bindNull(13);
    switch (e.after) {
    case AfterRecording::Nothing:
        s.bind(14, 0).bindNull(15).bindNull(16);
        break;
    case AfterRecording::PeakNormalize:
        s.bind(14, 1).bind(15, double(e.peakPercent)).bindNull(16);
        break;
    case AfterRecording::LoudnessNormalize:
        s.bind(14, 2).bind(15, e.loudnessLufs).bind(16, e.ceilingDbtp);
        break;
    }
    s.bind(17, e.enabled);
    s.bind(18, e.changedAtMs);
    if (e.device && !e.deviceName.isEmpty())
        s.bind(19, e.deviceName);
    else
        s.bindNull(19);
}

} // namespace

EventStore::EventStore(store::ProgramDatabase& database, Clock& clock, QObject* parent)
    : QObject(parent), database_(database), clock_(clock)
{
}

std::vector<RecordEvent> EventStore::all() const
{
    std::vector<RecordEvent> events;
    if (!database_.isOpen())
        return events;
    Statement s = database_.connection().prepare(QString("SELECT %1 FROM events ORDER BY start_s, name, id").arg(columns()));
    while (s.step())
        events.push_back(eventOf(s));
    return events;
}

std::optional<RecordEvent> EventStore::find(qint64 id) const
{
    if (!database_.isOpen())
        return std::nullopt;
    Statement s = database_.connection().prepare(QString("SELECT %1 FROM events WHERE id = ?1").arg(columns()));
    s.bind(1, int64_t(id));
    if (!s.step())
        return std::nullopt;
    return eventOf(s);
}

qint64 EventStore::add(RecordEvent& event)
{
    auto& db = database_.connection();
    event.changedAtMs = clock_.now().toMSecsSinceEpoch();
    Statement s = db.prepare(store::insertSql("events", fields()));
    bindFields(s, event);
    s.run();
    event.id = db.lastInsertId();
    emit eventChanged(event.id);
    return event.id;
}

void EventStore::update(RecordEvent& event)
{
    event.changedAtMs = clock_.now().toMSecsSinceEpoch();
    Statement s = database_.connection().prepare(store::updateSql("events", fields(), "id"));
    bindFields(s, event);
    s.bind(int(fields().size()) + 1, int64_t(event.id));
    s.run();
    emit eventChanged(event.id);
}

void EventStore::setEnabled(qint64 id, bool enabled)
{
    auto event = find(id);
    if (!event || event->enabled == enabled)
        return;
    event->enabled = enabled;
    update(*event);
}

void EventStore::remove(qint64 id)
{
    Statement s = database_.connection().prepare("DELETE FROM events WHERE id = ?1");
    s.bind(1, int64_t(id));
    s.run();
    emit eventRemoved(id);
}

} // namespace tamblor::schedule
