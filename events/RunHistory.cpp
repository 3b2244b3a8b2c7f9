#include "events/RunHistory.h"
#include "events/EventText.h"
#include "platform/SafeReplace.h"
#include <QDateTime>
#include <cmath>

namespace tamblor::events {

namespace {

QString csvField(const QString& text)
{
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    QString quoted = text;
    quoted.replace("\"", "\"\"");
    return "\"" + quoted + "\"";
}

QString localTime(const std::optional<qint64>& ms)
{
    return ms ? QDateTime::fromMSecsSinceEpoch(*ms).toString("yyyy-MM-dd HH:mm:ss.zzz") : QString();
}

QString number(const std::optional<double>& value, int decimals)
{
    if (!value)
        return {};
    if (!std::isfinite(*value))
        return *value < 0 ? QString("-inf") : QString("inf");
    return QString::number(*value, 'f', decimals);
}

// `text` cut or padded to `width` characters.
QString column(const QString& text, int width)
{
    return text.left(width).leftJustified(width, ' ');
}

} // namespace

QByteArray runsCsv(const std::vector<schedule::RecordRun>& runs, double alarmSeconds)
{
    QStringList lines;
    lines << "Event,Due,First sample,Planned from,Length (s),Sample rate,Slot,Result,Warning,Integrated (LUFS),"
             "Range (LU),True peak (dBTP),Peak (dBFS),Longest silence (s),Detail,Seen";
    for (const schedule::RecordRun& r : runs) {
        const std::optional<double> seconds =
            r.sampleRate > 0 ? std::optional<double>(double(r.lengthFrames) / r.sampleRate) : std::nullopt;
        const auto* f = r.figures ? &*r.figures : nullptr;
        QStringList fields{csvField(r.eventName),
                           localTime(r.scheduledStartMs),
                           localTime(r.measuredFirstSampleMs),
                           localTime(r.firstSampleMs),
                           number(seconds, 3),
                           r.sampleRate > 0 ? QString::number(r.sampleRate) : QString(),
                           r.slot > 0 ? QString::number(r.slot) : QString(),
                           runResultText(r),
                           csvField(runWarning(r, alarmSeconds)),
                           number(f ? f->integratedLufs : std::nullopt, 1),
                           number(f ? f->lraLu : std::nullopt, 1),
                           number(f ? f->truePeakDbtp : std::nullopt, 1),
                           number(f ? f->peakDbfs : std::nullopt, 1),
                           number(f ? f->longestSilenceS : std::nullopt, 1),
                           csvField(r.detail),
                           r.seen ? "yes" : "no"};
        lines << fields.join(",");
    }
    return (lines.join("\r\n") + "\r\n").toUtf8();
}

void writeRunsCsv(const QString& nativePath, const QByteArray& csv)
{
    SafeReplace replace(nativePath);
    try {
        replace.create().writeAt(0, csv.constData(), size_t(csv.size()));
        replace.commit();
    } catch (...) {
        replace.discard();
        throw;
    }
}

QStringList printedRunLines(const std::vector<schedule::RecordRun>& runs, double alarmSeconds, const QString& period,
                            const QString& dateSeparator)
{
    QStringList lines;
    lines << "Record results " + period;
    lines << "";
    lines << column("Due", 18) + column("Event", 18) + column("Result", 12) + column("Length", 9)
                 + column("LUFS", 7) + column("dBTP", 7) + "Silence";
    for (const schedule::RecordRun& r : runs) {
        const auto& f = r.figures;
        lines << column(dayAndTimeText(r.scheduledStartMs, dateSeparator), 18) + column(r.eventName, 18)
                     + column(runResultText(r), 12) + column(runLengthText(r), 9)
                     + column(number(f ? f->integratedLufs : std::nullopt, 1), 7)
                     + column(number(f ? f->truePeakDbtp : std::nullopt, 1), 7)
                     + silenceText(f ? f->longestSilenceS : std::nullopt);
        const QString warning = runWarning(r, alarmSeconds);
        if (!warning.isEmpty())
            lines << "    Warning: " + warning;
        if (r.result && *r.result != schedule::RunResult::OK && !r.detail.isEmpty())
            lines << "    " + r.detail;
    }
    if (runs.empty())
        lines << "(no runs in this period)";
    return lines;
}

} // namespace tamblor::events
