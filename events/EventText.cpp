#include "events/EventText.h"
#include "core/TimeText.h"
#include "schedule/EventTiming.h"
#include "core/RecordingFormats.h"
#include <QStringList>
#include <cmath>

namespace tamblor::events {

using schedule::RecordEvent;

QString daysText(const RecordEvent& event, const QLocale& locale, const QString& dateSeparator)
{
    if (event.isOneShot())
        return dateText(event.date, dateSeparator);
    if (event.weekdays == RecordEvent::EveryDay)
        return "Every day";
    if (event.weekdays == RecordEvent::Weekdays)
        return locale.dayName(1, QLocale::ShortFormat) + "-" + locale.dayName(5, QLocale::ShortFormat);
    QStringList days;
    for (int d = 1; d <= 7; ++d)
        if (event.runsOnWeekday(d))
            days << locale.dayName(d, QLocale::ShortFormat);
    return days.isEmpty() ? QString("No day") : days.join(", ");
}

QString timeOfDayText(const QTime& time)
{
    return time.toString(time.second() == 0 ? "HH:mm" : "HH:mm:ss");
}

QString lengthText(int seconds)
{
    return QString::asprintf("%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

QString endText(const RecordEvent& event)
{
    if (event.endKind == schedule::EndKind::TimeOfDay)
        return "until " + timeOfDayText(event.end);
    return "for " + lengthText(event.lengthSeconds);
}

QString destinationText(const RecordEvent& event)
{
    if (event.destination == schedule::Destination::FixedSlot)
        return QString("Slot %1").arg(event.fixedSlot);
    return "First free: " + event.nameTemplate;
}

QString afterText(const RecordEvent& event)
{
    switch (event.after) {
    case schedule::AfterRecording::Nothing: return "Nothing";
    case schedule::AfterRecording::PeakNormalize: return QString("Peak %1 %").arg(event.peakPercent);
    case schedule::AfterRecording::LoudnessNormalize:
        return QString("Loudness %1 LUFS, peak %2 dBTP").arg(event.loudnessLufs).arg(event.ceilingDbtp);
    }
    return {};
}

QString dayAndTimeText(qint64 ms, const QString& dateSeparator)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    return dateText(local.date(), dateSeparator) + " " + timeOfDayText(local.time());
}

bool isFinished(const RecordEvent& event, qint64 nowMs)
{
    return event.isOneShot() && event.problem().isEmpty() && !schedule::EventTiming::nextStart(event, nowMs);
}

QString nextStartText(const RecordEvent& event, qint64 nowMs, const QString& dateSeparator)
{
    // An event that cannot run as stored says so before anything else: it records nothing.
    if (const QString problem = event.problem(); !problem.isEmpty())
        return "Needs repair: " + problem;
    if (!event.enabled)
        return "off";
    const auto next = schedule::EventTiming::nextStart(event, nowMs);
    if (!next)
        return event.isOneShot() ? QString("done") : QString();
    return dayAndTimeText(next->startMs, dateSeparator);
}

QString countdownText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, (ms + 999) / 1000);
    if (seconds < 60)
        return QString("%1 s").arg(seconds);
    if (seconds <= 3600)
        return QString("%1 min").arg((seconds + 59) / 60);
    // From an hour on, whole minutes gone by: a day less a few seconds is "23 h 59 min".
    const qint64 minutes = seconds / 60;
    return QString("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QChar('0'));
}

QString runLengthText(const schedule::RecordRun& run)
{
    if (run.sampleRate <= 0)
        return {};
    return secondsToTimeText(static_cast<int32_t>(run.lengthFrames / run.sampleRate)).trimmed();
}

QString peakText(double dbfs)
{
    if (!std::isfinite(dbfs))
        return QString("-%1 dBFS").arg(QChar(0x221E)); // digital silence
    return QString("%1 dBFS").arg(dbfs, 0, 'f', 1);
}

QString runResultText(const schedule::RecordRun& run)
{
    return run.result ? schedule::resultText(*run.result) : QString("Recording");
}

QString inputText(const RecordEvent& event, const InputDefaults& defaults, const QLocale& locale)
{
    const bool own = event.device || event.format || event.channels;
    const QString device = event.device ? (event.deviceName.isEmpty() ? QString("card %1").arg(*event.device) : event.deviceName)
                                        : defaults.deviceName;
    const QString format = recordingFormatText(event.format.value_or(defaults.format), locale);
    const QString channels = event.channels.value_or(defaults.channels) == 0 ? "mono" : "stereo";
    QStringList parts;
    if (!device.isEmpty())
        parts << device;
    parts << format << channels;
    return (own ? QString() : QString("Preferences: ")) + parts.join(", ");
}

QString qualityWarning(const RecordEvent& event, const InputDefaults& defaults)
{
    const bool low = event.recordsAt8kHz(defaults.format);
    const bool mono = event.recordsMono(defaults.channels);
    if (low && mono)
        return "8 kHz and mono";
    if (low)
        return "8 kHz";
    return mono ? QString("mono") : QString();
}

namespace {

QString figureText(const std::optional<double>& value, const char* unit)
{
    if (!value)
        return {};
    if (!std::isfinite(*value))
        return QString("-%1 %2").arg(QChar(0x221E)).arg(QLatin1String(unit));
    return QString("%1 %2").arg(*value, 0, 'f', 1).arg(QLatin1String(unit));
}

QString clockTimeText(qint64 ms, bool withMs)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(withMs ? "HH:mm:ss.zzz" : "HH:mm:ss");
}

} // namespace

QString lufsText(const std::optional<double>& lufs)
{
    return figureText(lufs, "LUFS");
}

QString dbtpText(const std::optional<double>& dbtp)
{
    return figureText(dbtp, "dBTP");
}

QString silenceText(const std::optional<double>& seconds)
{
    if (!seconds)
        return {};
    return QString("%1 s").arg(*seconds, 0, 'f', 1);
}

QString startedText(const schedule::RecordRun& run)
{
    if (run.measuredFirstSampleMs)
        return clockTimeText(*run.measuredFirstSampleMs, true);
    if (run.firstSampleMs)
        return clockTimeText(*run.firstSampleMs, false) + " (planned)";
    return {};
}

QString runWarning(const schedule::RecordRun& run, double alarmSeconds)
{
    const std::optional<double> silence = run.longestSilenceS();
    if (!run.result || *run.result != schedule::RunResult::OK || !silence || alarmSeconds <= 0 || *silence < alarmSeconds)
        return {};
    return "Silence " + silenceText(silence);
}

QString runDetailText(const schedule::RecordRun& run, double alarmSeconds, const QString& dateSeparator)
{
    QStringList lines;
    lines << QString("%1, due %2").arg(run.eventName, dayAndTimeText(run.scheduledStartMs, dateSeparator));
    QString result = "Result: " + runResultText(run);
    if (const QString warning = runWarning(run, alarmSeconds); !warning.isEmpty())
        result += QString(" (warning: a silence of %1, the silence alarm's time is %2 s)")
                      .arg(silenceText(run.longestSilenceS()))
                      .arg(alarmSeconds, 0, 'f', 0);
    lines << result;
    // Why, first: the rest is the take's facts.
    if (!run.detail.isEmpty())
        lines << run.detail;
    if (run.measuredFirstSampleMs)
        lines << QString("First sample at %1 (%2 ms from the start)")
                     .arg(clockTimeText(*run.measuredFirstSampleMs, true))
                     .arg(*run.measuredFirstSampleMs - run.scheduledStartMs);
    else if (run.firstSampleMs)
        lines << "Recorded from " + clockTimeText(*run.firstSampleMs, false) + " (as planned; not measured)";
    if (run.sampleRate > 0)
        lines << QString("Length %1 (%2 frames at %3 Hz)").arg(runLengthText(run)).arg(run.lengthFrames).arg(run.sampleRate);
    if (run.slot > 0)
        lines << QString("Slot %1").arg(run.slot);
    if (run.figures && run.figures->measured()) {
        const store::TakeFigures& f = *run.figures;
        lines << QString("Loudness %1, range %2, true peak %3, sample peak %4")
                     .arg(lufsText(f.integratedLufs), f.lraLu ? QString("%1 LU").arg(*f.lraLu, 0, 'f', 1) : QString("-"),
                          dbtpText(f.truePeakDbtp), f.peakDbfs ? peakText(*f.peakDbfs) : QString("-"));
        if (f.longestSilenceS)
            lines << QString("Longest silence %1%2")
                         .arg(silenceText(f.longestSilenceS),
                              f.silenceBelowDbfs ? QString(" (below %1 dBFS)").arg(*f.silenceBelowDbfs, 0, 'f', 0) : QString());
        if (f.clippedRuns && *f.clippedRuns > 0)
            lines << QString("Clipped runs %1").arg(*f.clippedRuns);
    } else if (run.figures) {
        lines << "The take could not be measured.";
    }
    if (run.result && *run.result != schedule::RunResult::OK)
        lines << (run.seen ? "Seen." : "Not seen yet.");
    return lines.join("\n");
}

} // namespace tamblor::events
