#pragma once
// The edges of the remote lines in the program's database, one row each, with the time, the
// port and line, the function wired to it, the edge and what the program did about it. Adding
// while the database is closed does nothing (the lines work without it).
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace tamblor::store {

class ProgramDatabase;

struct LineEventRow {
    QDateTime at;
    QString port;
    QString line;
    QString function;
    QString edge;                   // "closed", "opened", "ignored"
    std::optional<double> pulseMs;  // an ignored pulse's length
    QString action;
};

class LineEventStore {
public:
    explicit LineEventStore(ProgramDatabase& database) : database_(database) {}

    // Throws Failure when the row cannot be written.
    void add(const LineEventRow& row);
    // The last `limit` rows, oldest first; nothing while closed.
    std::vector<LineEventRow> recent(int limit = 100) const;

private:
    ProgramDatabase& database_;
};

} // namespace tamblor::store
