#pragma once
// How a record event and its runs read in the window and on the main menu: pure texts of values,
// so the list, the editor and the main menu's line say the same thing the same way.
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tamblor::events {

// "Every day", "Mon-Fri", "Sat, Sun", "Mon, Wed, Fri"; a one-shot event's date in the program's
// form with the clock's separator, "12/24/2026".
QString daysText(const schedule::RecordEvent& event, const QLocale& locale, const QString& dateSeparator);
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
// The next start after `nowMs`: "12/07/2026 17:00"; "off" for a disabled event, "done" for a
// one-shot event whose day has gone.
QString nextStartText(const schedule::RecordEvent& event, qint64 nowMs, const QString& dateSeparator);
// True for a one-shot event whose only start has gone by `nowMs` (it is kept as done).
bool isFinished(const schedule::RecordEvent& event, qint64 nowMs);
// A local day and time of an instant in the program's date form: "12/07/2026 17:00".
QString dayAndTimeText(qint64 ms, const QString& dateSeparator);
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

// What an event records from, with the preferences' device, format and channels where it keeps
// none of its own.
struct InputDefaults {
    QString deviceName; // the preferences' recording card
    int format = 0;     // 0..5, see RecordingFormats
    int channels = 0;   // 0 mono, 1 stereo
};
// "Line In, PCM 44.100 kHz, stereo"; "Preferences: ..." when the event keeps no input.
QString inputText(const schedule::RecordEvent& event, const InputDefaults& defaults, const QLocale& locale);
// What makes the event's takes telephone quality: "8 kHz and mono", "8 kHz", "mono"; "" when
// nothing does.
QString qualityWarning(const schedule::RecordEvent& event, const InputDefaults& defaults);

// A loudness, true peak or length figure of a take: "-23.1 LUFS", "-1.2 dBTP", "12.5 s";
// digital silence "-∞ LUFS"; "" when the figure is not known.
QString lufsText(const std::optional<double>& lufs);
QString dbtpText(const std::optional<double>& dbtp);
QString silenceText(const std::optional<double>& seconds);
// The time a run's take began: the measured first sample "17:00:00.003", or, for a run
// stored before that was measured, the planned time with "(planned)"; "" when none.
QString startedText(const schedule::RecordRun& run);
// A warning about a take the result calls OK: its longest silence reached the silence alarm's
// time (`alarmSeconds`): "Silence 50.0 s"; "" when there is none to give.
QString runWarning(const schedule::RecordRun& run, double alarmSeconds);
// Everything known of a run, a line each, for its detail pane and tooltip.
QString runDetailText(const schedule::RecordRun& run, double alarmSeconds, const QString& dateSeparator);

} // namespace tamblor::events
