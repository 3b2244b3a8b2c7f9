#include "schedule/RecordEvent.h"

namespace tamblor::schedule {

QString RecordEvent::problem() const
{
    if (!start.isValid())
        return QStringLiteral("its start is not a time of day.");
    if (!isOneShot() && (weekdays & EveryDay) == 0)
        return QStringLiteral("it has no day to record on.");
    if (endKind == EndKind::Length && lengthSeconds <= 0)
        return QStringLiteral("its length of %1 seconds is not longer than 0.").arg(lengthSeconds);
    if (endKind == EndKind::TimeOfDay && (!end.isValid() || end == start))
        return QStringLiteral("its end is its start.");
    if (plannedSeconds() > MaxSeconds)
        return QStringLiteral("its length of %1 seconds is longer than the %2 seconds a take can have.")
            .arg(plannedSeconds())
            .arg(MaxSeconds);
    if (destination == Destination::FixedSlot && (fixedSlot < 1 || fixedSlot > MaxSlot))
        return QStringLiteral("it records into a fixed slot but names none from 1 to %1.").arg(MaxSlot);
    return {};
}

} // namespace tamblor::schedule
