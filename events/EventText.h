#pragma once
// How a record event and its runs read in the window and on the main menu: pure texts of values,
// so the list, the editor and the main menu's line say the same thing the same way.
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tamblor::events {

// "Every day", "Mon-Fri", "Sat, Sun", "Mon, Wed, Fri"; a one-shot event's date "24.12.2026".
QString daysText(const schedule::RecordEvent& event, const QLocale& locale);
// "17:00", or "06:10:30" when the seconds are not 0.
QString timeOfDayText(const QTime& time);
// A length as it is typed: "00:02:00", "30:00:00" (the hours are not taken modulo a day).
QString lengthText(int seconds);
// "for 00:02:00" or "until 18:00".
QString endText(const schedule::RecordEvent& event);
// "First free: {name} {time}" or "Slot 12".
QString destinationText(const schedule::RecordEvent& event);
// "Nothing", "Peak 98 %", "Loudness -23 LUFS, peak -1 dBTP".
QString afterText(const schedule::RecordEvent& event);
// The next start after `nowMs`: "Mon 07.12 17:00"; "off" for a disabled event, "done" for a
// one-shot event whose day has gone.
QString nextStartText(const schedule::RecordEvent& event, qint64 nowMs, const QLocale& locale);
// A local day and time of an instant: "Mon 07.12 17:00".
QString dayAndTimeText(qint64 ms, const QLocale& locale);
// How long until something: "45 s", "12 min" (minutes counted up within the hour, so the
// countdown reaches "1 min" only in the last minute before the seconds), "2 h 05 min" (whole
// minutes from an hour on, so a day less a little is "23 h 59 min", never "24 h 00 min").
QString countdownText(qint64 ms);
// A run's length in frames as a time text ("02:00"); empty without a sample rate.
QString runLengthText(const schedule::RecordRun& run);
// A peak level: "-3.2 dBFS"; digital silence "-∞ dBFS".
QString peakText(double dbfs);
// A run's result as the list shows it: "OK", "Missed", ...; "Recording" while under way.
QString runResultText(const schedule::RecordRun& run);

} // namespace tamblor::events
