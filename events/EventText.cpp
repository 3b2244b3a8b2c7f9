#include "events/EventText.h"
#include "core/TimeText.h"
#include "schedule/EventTiming.h"
#include <QStringList>
#include <cmath>

namespace tamblor::events {

using schedule::RecordEvent;

QString daysText(const RecordEvent& event, const QLocale& locale)
{
    if (event.isOneShot())
        return event.date.toString("dd.MM.yyyy");
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

QString dayAndTimeText(qint64 ms, const QLocale& locale)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    return locale.dayName(local.date().dayOfWeek(), QLocale::ShortFormat) + " " + local.toString("dd.MM") + " "
           + timeOfDayText(local.time());
}

QString nextStartText(const RecordEvent& event, qint64 nowMs, const QLocale& locale)
{
    // An event that cannot run as stored says so before anything else: it records nothing.
    if (const QString problem = event.problem(); !problem.isEmpty())
        return "Needs repair: " + problem;
    if (!event.enabled)
        return "off";
    const auto next = schedule::EventTiming::nextStart(event, nowMs);
    if (!next)
        return event.isOneShot() ? QString("done") : QString();
    return dayAndTimeText(next->startMs, locale);
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

} // namespace tamblor::events
