#include "loggerweb/LoggerPages.h"
#include "logger/SegmentTimes.h"
#include "web/Pages.h"
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>

namespace tamblor::loggerweb::LoggerPages {

namespace {

using logger::CoverageState;

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString moment(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH:mm:ss") + " " +
           logger::SegmentTimes::offsetText(logger::SegmentTimes::utcOffsetSeconds(ms));
}

// The days asked for, within the snapshot: the newest no later than today and no earlier than
// the snapshot reaches, as many as it holds from there.
std::pair<QDate, int> within(const LoggerSnapshot& s, QDate newest, int days)
{
    const QDate oldest = s.today.addDays(1 - std::max(s.spanDays, 1));
    if (!newest.isValid() || newest > s.today)
        newest = s.today;
    if (newest < oldest)
        newest = oldest;
    days = std::clamp(days, 1, int(oldest.daysTo(newest)) + 1);
    return {newest, days};
}

QString statusText(const LoggerSnapshot& s)
{
    const logger::LoggerStatus& st = s.status;
    QStringList parts;
    parts << (st.running ? QString("The logger is running.") : QString("The logger is not running."));
    if (!st.open)
        parts << "Its database cannot be read now.";
    if (st.lastSegment)
        parts << QString("Last segment: %1, %2 (%3).")
                     .arg(moment(st.lastSegment->startMs),
                          st.lastSegment->result ? logger::resultText(*st.lastSegment->result) : QString("being recorded"),
                          QFileInfo(st.lastSegment->path).fileName());
    if (st.forecast.bytesPerDay > 0)
        parts << QString("The disk holds %1 days of recording; %2 are kept.")
                     .arg(st.forecast.capacityDays, 0, 'f', 1)
                     .arg(st.retentionDays);
    return parts.join(' ');
}

QString dayLink(const QDate& newest, int days, const QString& text)
{
    return QString("<a href=\"/logger?to=%1&amp;days=%2\">%3</a>").arg(newest.toString("yyyy-MM-dd")).arg(days).arg(esc(text));
}

} // namespace

QByteArray html(const LoggerSnapshot& s, QDate newest, int days, const web::Pages::Viewer& viewer)
{
    std::tie(newest, days) = within(s, newest, days);
    const logger::LoggerCoverage coverage(s.rows, s.nowMs);
    QString b;
    b += QString("<p class=\"%1\">%2</p>")
             .arg(s.status.forecast.belowRetention ? "alarm" : "")
             .arg(esc(statusText(s)));
    b += "<p>" + dayLink(newest.addDays(-days), days, "Earlier") + " | " + esc(newest.addDays(1 - days).toString("yyyy-MM-dd")) +
         QString::fromUtf8(" \u2013 ") + esc(newest.toString("yyyy-MM-dd"));
    if (newest < s.today)
        b += " | " + dayLink(std::min(s.today, newest.addDays(days)), days, "Later");
    b += "</p>";
    b += "<table class=\"grid\"><tr><th>Day</th>";
    for (int h = 0; h < 24; ++h)
        b += QString("<th colspan=\"2\">%1</th>").arg(h, 2, 10, QChar('0'));
    b += "</tr>";
    for (const logger::CoverageDay& day : coverage.days(newest, days)) {
        b += "<tr><th>" + esc(day.date.toString("ddd yyyy-MM-dd")) + "</th>";
        std::map<int, std::vector<const logger::CoverageCell*>> byHour;
        for (const logger::CoverageCell& c : day.cells)
            byHour[c.hour].push_back(&c);
        for (int h = 0; h < 24; ++h) {
            const auto found = byHour.find(h);
            if (found == byHour.end()) {
                b += QString("<td colspan=\"2\" class=\"none\" title=\"%1:00 does not exist (the clocks go forward)\"></td>")
                         .arg(h, 2, 10, QChar('0'));
                continue;
            }
            const auto& cells = found->second;
            for (const logger::CoverageCell* c : cells)
                b += QString("<td%1 class=\"%2\" style=\"background:%3\" title=\"%4\">%5</td>")
                         .arg(cells.size() == 1 ? QString(" colspan=\"2\"") : QString())
                         .arg(logger::stateKey(c->state), logger::stateColour(c->state), esc(c->reason),
                              c->held ? "H" : "");
        }
        b += "</tr>";
    }
    b += "</table><p class=\"legend\">";
    for (int i = 0; i < logger::CoverageStateCount; ++i) {
        const auto state = CoverageState(i);
        b += QString("<span class=\"swatch\" style=\"background:%1\"></span> %2 &nbsp; ")
                 .arg(logger::stateColour(state), esc(logger::stateText(state)));
    }
    b += "H on hold (kept from deletion)</p>";
    b += "<p><a href=\"/logger.json\">JSON</a></p>";
    const QString head = "<style>table.grid td,table.grid th{padding:0;min-width:.7em;height:1.4em;text-align:center;"
                         "font-size:80%}table.grid td.none{background:repeating-linear-gradient(45deg,#fff,#fff 3px,"
                         "#ddd 3px,#ddd 6px)}.swatch{display:inline-block;width:1em;height:1em;border:1px solid #888;"
                         "vertical-align:middle}body{max-width:none}</style>";
    return web::Pages::framed("Logger", head + b, viewer);
}

QByteArray json(const LoggerSnapshot& s, QDate newest, int days)
{
    std::tie(newest, days) = within(s, newest, days);
    const logger::LoggerCoverage coverage(s.rows, s.nowMs);
    QJsonObject o;
    o["running"] = s.status.running;
    o["databaseReadable"] = s.status.open;
    o["retentionDays"] = s.status.retentionDays;
    if (s.status.forecast.bytesPerDay > 0)
        o["retentionDaysHeld"] = s.status.forecast.capacityDays;
    if (s.status.lastSegment) {
        const logger::SegmentRecord& r = *s.status.lastSegment;
        QJsonObject last;
        last["file"] = QFileInfo(r.path).fileName();
        last["start"] = moment(r.startMs);
        last["startMs"] = double(r.startMs);
        last["result"] = r.result ? QJsonValue(logger::resultText(*r.result)) : QJsonValue(QJsonValue::Null);
        o["lastSegment"] = last;
    }
    QJsonArray list;
    for (const logger::CoverageDay& day : coverage.days(newest, days)) {
        QJsonArray cells;
        for (const logger::CoverageCell& c : day.cells) {
            QJsonObject cell;
            cell["hour"] = c.hour;
            cell["label"] = c.label;
            cell["startMs"] = double(c.startMs);
            cell["endMs"] = double(c.endMs);
            cell["state"] = logger::stateKey(c.state);
            cell["held"] = c.held;
            cell["reason"] = c.reason;
            cells.append(cell);
        }
        QJsonObject d;
        d["date"] = day.date.toString("yyyy-MM-dd");
        d["cells"] = cells;
        list.append(d);
    }
    o["days"] = list;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray metrics(const LoggerSnapshot& s)
{
    const logger::LoggerStatus& st = s.status;
    QString t;
    t += "# HELP tamblor_logger_present Whether the logger has a database on this root.\n"
         "# TYPE tamblor_logger_present gauge\n";
    t += QString("tamblor_logger_present %1\n").arg(st.database ? 1 : 0);
    t += "# HELP tamblor_logger_running Whether the logger runs on this root now.\n# TYPE tamblor_logger_running gauge\n";
    t += QString("tamblor_logger_running %1\n").arg(st.running ? 1 : 0);
    if (!st.database)
        return t.toUtf8();
    t += "# HELP tamblor_logger_retention_days The days the logger keeps its segments.\n"
         "# TYPE tamblor_logger_retention_days gauge\n";
    t += QString("tamblor_logger_retention_days %1\n").arg(st.retentionDays);
    if (st.forecast.bytesPerDay > 0) {
        t += "# HELP tamblor_logger_retention_days_held The days of recording the logger's disk holds (its kept "
             "segments and the free space) at the current rate.\n# TYPE tamblor_logger_retention_days_held gauge\n";
        t += QString("tamblor_logger_retention_days_held %1\n").arg(st.forecast.capacityDays, 0, 'f', 2);
    }
    if (st.lastSegment) {
        t += "# HELP tamblor_logger_last_segment_start_seconds The start of the last segment (seconds since 1970).\n"
             "# TYPE tamblor_logger_last_segment_start_seconds gauge\n";
        t += QString("tamblor_logger_last_segment_start_seconds %1\n").arg(st.lastSegment->startMs / 1000);
    }
    return t.toUtf8();
}

} // namespace tamblor::loggerweb::LoggerPages
