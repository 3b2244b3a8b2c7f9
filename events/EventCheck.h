#pragma once
// What is wrong with an event as typed, before it is stored: errors keep it from being stored
// (no name, no day, a length of 0, a date gone, a slot out of 1 to 900, a name template that
// makes an empty name); warnings are told and the event is stored all the same (a take name cut
// to the width of a slot's name, another event recording from the same input at the same time).
#include "schedule/RecordEvent.h"
#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <vector>

namespace tamblor::events {

struct EventCheck {
    QStringList errors;
    QStringList warnings;
    bool storable() const { return errors.isEmpty(); }
};

// Checks `event` at `now` against the stored `others` (the event itself, by id, is skipped).
EventCheck checkEvent(const schedule::RecordEvent& event, const std::vector<schedule::RecordEvent>& others,
                      const QDateTime& now, const QString& dateSeparator);

// The first other enabled event on the same input whose takes overlap the event's in the weeks
// ahead (every weekly pattern repeats within one), with the start where they meet; none when
// none does.
struct Overlap {
    schedule::RecordEvent other;
    qint64 otherStartMs = 0;
};
std::optional<Overlap> firstOverlap(const schedule::RecordEvent& event,
                                    const std::vector<schedule::RecordEvent>& others, qint64 nowMs);

} // namespace tamblor::events
