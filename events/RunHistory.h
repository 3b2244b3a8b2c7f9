#pragma once
// The history of the record events' runs for the operator to keep: as CSV for a spreadsheet (one
// row a run, the oldest first) and as the lines of a printed list. Pure texts of values, and the
// one file the CSV is written to, replaced whole.
#include "schedule/RecordRun.h"
#include <QString>
#include <QStringList>
#include <vector>

namespace tamblor::events {

// The CSV of the runs: a header row, then one row a run, fields quoted where they hold a comma,
// a quote or a line break, lines ended with CR LF. Times are local, "2026-12-07 17:00:00.003";
// figures have a full stop for their decimal point, digital silence is "-inf".
// `alarmSeconds` is the silence alarm's time, for the warning column.
QByteArray runsCsv(const std::vector<schedule::RecordRun>& runs, double alarmSeconds);

// Writes `csv` to the native path, replacing a file there only once the new one is complete.
// Throws Failure.
void writeRunsCsv(const QString& nativePath, const QByteArray& csv);

// The printed list: a title line with the period, a header, and a line a run in fixed columns
// (due, event, result, length, loudness, true peak, longest silence), the detail of a run other
// than OK (or of a warning) on an indented line under it.
QStringList printedRunLines(const std::vector<schedule::RecordRun>& runs, double alarmSeconds, const QString& period,
                            const QString& dateSeparator);

} // namespace tamblor::events
