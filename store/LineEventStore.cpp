#include "store/LineEventStore.h"
#include "store/ProgramDatabase.h"
#include <algorithm>

namespace tamblor::store {

void LineEventStore::add(const LineEventRow& row)
{
    if (!database_.isOpen())
        return;
    Statement s = database_.connection().prepare(
        "INSERT INTO line_events (at_ms, port, line, function, edge, pulse_ms, action) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    s.bind(1, row.at.toMSecsSinceEpoch()).bind(2, row.port).bind(3, row.line).bind(4, row.function);
    s.bind(5, row.edge).bind(6, row.pulseMs).bind(7, row.action);
    s.run();
}

std::vector<LineEventRow> LineEventStore::recent(int limit) const
{
    std::vector<LineEventRow> rows;
    if (!database_.isOpen())
        return rows;
    Statement s = database_.connection().prepare(
        "SELECT at_ms, port, line, function, edge, pulse_ms, action FROM line_events ORDER BY id DESC LIMIT ?1");
    s.bind(1, limit);
    while (s.step()) {
        LineEventRow r;
        r.at = QDateTime::fromMSecsSinceEpoch(s.int64At(0));
        r.port = s.textAt(1);
        r.line = s.textAt(2);
        r.function = s.textAt(3);
        r.edge = s.textAt(4);
        r.pulseMs = s.optionalDoubleAt(5);
        r.action = s.textAt(6);
        rows.push_back(std::move(r));
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
}

} // namespace tamblor::store
