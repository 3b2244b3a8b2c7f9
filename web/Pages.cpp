#include "web/Pages.h"
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace tamblor::web::Pages {

namespace {

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString localTime(qint64 ms)
{
    return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH:mm:ss") : QString("-");
}

QJsonValue number(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

template <class T> QJsonValue optional(const std::optional<T>& value)
{
    return value ? number(double(*value)) : QJsonValue(QJsonValue::Null);
}

QString optionalFigure(const std::optional<double>& value)
{
    return value ? figure(*value) : QString("-");
}

QByteArray document(const QString& title, const QString& body, const Viewer& viewer, const QString& head = {})
{
    QString nav = "<nav><a href=\"/now\">Now</a> | <a href=\"/events\">Events</a> | <a href=\"/library\">Library</a>"
                  " | <a href=\"/metrics\">Metrics</a>";
    for (const NavLink& link : viewer.links)
        nav += QString(" | <a href=\"%1\">%2</a>").arg(esc(link.path), esc(link.label));
    if (viewer.signedIn)
        nav += QString(" | %1 (%2) <form class=\"inline\" method=\"post\" action=\"/signout\">"
                       "<input type=\"hidden\" name=\"csrf\" value=\"%3\"><button>Sign out</button></form>")
                   .arg(esc(viewer.identity.name), roleText(viewer.identity.role), QString::fromLatin1(viewer.identity.csrf));
    nav += "</nav>";
    return QString("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                   "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                   "<title>%1 - Tamblor</title>%2<style>"
                   "body{font-family:sans-serif;margin:1em;max-width:60em}table{border-collapse:collapse}"
                   "td,th{border:1px solid #bbb;padding:.2em .5em;text-align:left}"
                   ".alarm{background:#c00;color:#fff;padding:.3em}.ok{color:#070}.inline{display:inline}"
                   "meter{width:20em}</style></head><body>%3<h1>%1</h1>%4</body></html>\n")
        .arg(esc(title), head, nav, body)
        .toUtf8();
}

QString operatorForm(const Viewer& viewer, const QString& action, const QString& label)
{
    return QString("<form class=\"inline\" method=\"post\" action=\"%1\"><input type=\"hidden\" name=\"csrf\" "
                   "value=\"%2\"><button>%3</button></form>")
        .arg(esc(action), QString::fromLatin1(viewer.identity.csrf), esc(label));
}

bool mayOperate(const Viewer& viewer)
{
    return !viewer.identity.anonymous && viewer.identity.role == Role::Operator;
}

QJsonObject figuresJson(const std::optional<store::TakeFigures>& f)
{
    QJsonObject o;
    if (!f)
        return o;
    o["frames"] = optional(f->frames);
    o["sampleRate"] = optional(f->sampleRate);
    o["channels"] = optional(f->channels);
    o["peakDbfs"] = optional(f->peakDbfs);
    o["integratedLufs"] = optional(f->integratedLufs);
    o["loudnessRangeLu"] = optional(f->lraLu);
    o["truePeakDbtp"] = optional(f->truePeakDbtp);
    o["longestSilenceS"] = optional(f->longestSilenceS);
    o["clippedRuns"] = optional(f->clippedRuns);
    return o;
}

QString figuresCells(const std::optional<store::TakeFigures>& f)
{
    if (!f)
        return "<td>-</td><td>-</td><td>-</td><td>-</td>";
    return QString("<td>%1</td><td>%2</td><td>%3</td><td>%4</td>")
        .arg(optionalFigure(f->integratedLufs), optionalFigure(f->truePeakDbtp), optionalFigure(f->lraLu),
             optionalFigure(f->longestSilenceS));
}

QJsonObject runJson(const schedule::RecordRun& r)
{
    QJsonObject o;
    o["id"] = double(r.id);
    o["scheduledStart"] = double(r.scheduledStartMs);
    o["result"] = r.result ? schedule::resultText(*r.result) : QString("under way");
    o["detail"] = r.detail;
    o["slot"] = r.slot;
    o["lengthFrames"] = double(r.lengthFrames);
    o["sampleRate"] = r.sampleRate;
    o["figures"] = figuresJson(r.figures);
    return o;
}

QString runRows(const std::vector<schedule::RecordRun>& runs)
{
    QString rows;
    for (const auto& r : runs)
        rows += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td>%5</tr>")
                    .arg(esc(localTime(r.scheduledStartMs)),
                         r.result ? esc(schedule::resultText(*r.result)) : QString("under way"),
                         r.slot > 0 ? QString::number(r.slot) : QString("-"), esc(r.detail), figuresCells(r.figures));
    return rows;
}

const EventRow* findEvent(const StudioSnapshot& s, qint64 id)
{
    for (const EventRow& row : s.events)
        if (row.event.id == id)
            return &row;
    return nullptr;
}

bool matches(const SlotRow& row, const QString& search)
{
    return search.isEmpty() || row.name.contains(search, Qt::CaseInsensitive);
}

} // namespace

QString figure(double value)
{
    if (std::isnan(value))
        return "-";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    return QString::number(value, 'f', 1);
}

QString countdown(qint64 fromMs, qint64 toMs)
{
    const qint64 s = (toMs - fromMs) / 1000;
    if (s <= 0)
        return "now";
    if (s < 60)
        return QString("in %1 s").arg(s);
    const qint64 minutes = s / 60;
    if (minutes < 60)
        return QString("in %1 min %2 s").arg(minutes).arg(s % 60, 2, 10, QChar('0'));
    if (minutes < 48 * 60)
        return QString("in %1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QChar('0'));
    return QString("in %1 days").arg(minutes / (24 * 60));
}

QByteArray now(const StudioSnapshot& s, const Viewer& viewer)
{
    const NowState& n = s.now;
    QString body;
    if (n.alarmRaised)
        body += QString("<p class=\"alarm\" id=\"alarm\">Silence alarm: slot %1, silent for %2 s</p>")
                    .arg(n.alarmSlot)
                    .arg(figure(n.silentSeconds));
    else
        body += "<p class=\"ok\" id=\"alarm\">No silence alarm</p>";
    body += "<h2>Take</h2><table>";
    body += QString("<tr><th>State</th><td id=\"take\">%1</td></tr>").arg(esc(n.take));
    if (n.take != "idle") {
        body += QString("<tr><th>Slot</th><td id=\"slot\">%1</td></tr><tr><th>Name</th><td id=\"name\">%2</td></tr>")
                    .arg(n.slot)
                    .arg(esc(n.name));
        body += QString("<tr><th>Elapsed</th><td id=\"elapsed\">%1</td></tr>").arg(esc(n.elapsed));
        body += QString("<tr><th>Event</th><td id=\"event\">%1</td></tr>").arg(n.eventName.isEmpty() ? "by hand" : esc(n.eventName));
    }
    body += "</table>";
    if (mayOperate(viewer))
        body += "<p>" + (n.take == "idle" ? operatorForm(viewer, "/take/start", "Start a take")
                                          : operatorForm(viewer, "/take/stop", "Stop the take")) + "</p>";
    auto meter = [](const QString& id, const QString& label, double value, double low, double high, const QString& unit) {
        const double shown = std::isfinite(value) ? std::clamp(value, low, high) : low;
        return QString("<tr><th>%1</th><td><meter id=\"%2-bar\" min=\"%3\" max=\"%4\" value=\"%5\"></meter></td>"
                       "<td><span id=\"%2\">%6</span> %7</td></tr>")
            .arg(label, id)
            .arg(low)
            .arg(high)
            .arg(shown)
            .arg(figure(value), unit);
    };
    body += QString("<h2>Meter (%1)</h2><table>").arg(esc(n.meterSource));
    body += meter("momentary", "Momentary", n.momentaryLufs, -59, -5, "LUFS");
    body += meter("shortterm", "Short-term", n.shortTermLufs, -59, -5, "LUFS");
    body += meter("truepeak", "True peak", n.truePeakDbtp, -60, 3, "dBTP");
    body += "</table><h2>Next events</h2>";
    if (n.next.empty()) {
        body += "<p>None planned.</p>";
    } else {
        body += "<table><tr><th>Event</th><th>Start</th><th>Countdown</th></tr>";
        for (const auto& next : n.next)
            body += QString("<tr><td><a href=\"/events/%1\">%2</a></td><td>%3</td><td class=\"countdown\" data-start=\"%4\">%5</td></tr>")
                        .arg(next.eventId)
                        .arg(esc(next.name), esc(localTime(next.startMs)))
                        .arg(next.startMs)
                        .arg(countdown(n.atMs, next.startMs));
        body += "</table>";
    }
    body += QString("<p>As of <span id=\"at\" data-at=\"%1\">%2</span></p>").arg(n.atMs).arg(esc(localTime(n.atMs)));
    // Without scripts the page comes again every 5 s; with them its figures follow /now.json.
    const QString head = "<noscript><meta http-equiv=\"refresh\" content=\"5\"></noscript>"
                         "<script src=\"/now.js\" defer></script>";
    return document("Now", body, viewer, head);
}

QByteArray nowJson(const StudioSnapshot& s)
{
    const NowState& n = s.now;
    QJsonObject o;
    o["at"] = double(n.atMs);
    QJsonObject take;
    take["state"] = n.take;
    take["slot"] = n.slot;
    take["name"] = n.name;
    take["elapsed"] = n.elapsed;
    take["event"] = n.eventName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(n.eventName);
    take["eventId"] = n.eventId ? QJsonValue(double(*n.eventId)) : QJsonValue(QJsonValue::Null);
    o["take"] = take;
    QJsonObject meter;
    meter["source"] = n.meterSource;
    meter["momentaryLufs"] = number(n.momentaryLufs);
    meter["shortTermLufs"] = number(n.shortTermLufs);
    meter["truePeakDbtp"] = number(n.truePeakDbtp);
    o["meter"] = meter;
    QJsonObject alarm;
    alarm["raised"] = n.alarmRaised;
    alarm["slot"] = n.alarmSlot;
    alarm["silentSeconds"] = number(n.silentSeconds);
    o["silenceAlarm"] = alarm;
    QJsonArray next;
    for (const auto& e : n.next) {
        QJsonObject x;
        x["eventId"] = double(e.eventId);
        x["name"] = e.name;
        x["start"] = double(e.startMs);
        x["inSeconds"] = double(std::max<qint64>(0, (e.startMs - n.atMs) / 1000));
        next.append(x);
    }
    o["next"] = next;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray nowScript()
{
    return R"js("use strict";
(function () {
  function text(v, unit) { return v === null ? "-inf" : v.toFixed(1); }
  function set(id, value) { var e = document.getElementById(id); if (e) e.textContent = value; }
  function bar(id, v, low) { var e = document.getElementById(id + "-bar"); if (e) e.value = v === null ? low : v; }
  function countdown(ms) {
    var s = Math.floor(ms / 1000);
    if (s <= 0) return "now";
    if (s < 60) return "in " + s + " s";
    var m = Math.floor(s / 60);
    if (m < 60) return "in " + m + " min " + String(s % 60).padStart(2, "0") + " s";
    if (m < 2880) return "in " + Math.floor(m / 60) + " h " + String(m % 60).padStart(2, "0") + " min";
    return "in " + Math.floor(m / 1440) + " days";
  }
  var state = document.getElementById("take") ? document.getElementById("take").textContent : "";
  function update() {
    fetch("/now.json", {credentials: "same-origin", cache: "no-store"}).then(function (r) {
      if (!r.ok) throw new Error(r.status);
      return r.json();
    }).then(function (n) {
      if (n.take.state !== state) { location.reload(); return; }
      set("elapsed", n.take.elapsed);
      set("momentary", text(n.meter.momentaryLufs)); bar("momentary", n.meter.momentaryLufs, -59);
      set("shortterm", text(n.meter.shortTermLufs)); bar("shortterm", n.meter.shortTermLufs, -59);
      set("truepeak", text(n.meter.truePeakDbtp)); bar("truepeak", n.meter.truePeakDbtp, -60);
      var alarm = document.getElementById("alarm");
      if (alarm) {
        alarm.className = n.silenceAlarm.raised ? "alarm" : "ok";
        alarm.textContent = n.silenceAlarm.raised ? "Silence alarm: slot " + n.silenceAlarm.slot + ", silent for " +
          (n.silenceAlarm.silentSeconds || 0).toFixed(1) + " s" : "No silence alarm";
      }
      var cells = document.querySelectorAll(".countdown");
      for (var i = 0; i < cells.length; i++) cells[i].textContent = countdown(Number(cells[i].dataset.start) - n.at);
      set("at", new Date(n.at).toLocaleString());
    }).catch(function () {}).finally(function () { setTimeout(update, 200); });
  }
  setTimeout(update, 200);
})();
)js";
}

QByteArray events(const StudioSnapshot& s, const Viewer& viewer)
{
    QString body;
    if (!s.databaseOpen)
        body += "<p>The program's database is not open.</p>";
    body += "<table><tr><th>Event</th><th>Enabled</th><th>Next start</th><th>Last run</th><th></th></tr>";
    for (const EventRow& row : s.events) {
        const QString last = row.recent.empty() ? QString("-")
                             : row.recent.front().result ? schedule::resultText(*row.recent.front().result)
                                                         : QString("under way");
        body += QString("<tr><td><a href=\"/events/%1\">%2</a></td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>")
                    .arg(row.event.id)
                    .arg(esc(row.event.name), row.event.enabled ? "yes" : "no",
                         row.nextStartMs ? esc(localTime(*row.nextStartMs)) : QString("-"), esc(last),
                         mayOperate(viewer) ? operatorForm(viewer, QString("/events/%1/record-now").arg(row.event.id), "Record now")
                                            : QString());
    }
    body += "</table>";
    return document("Events", body, viewer);
}

QByteArray eventsJson(const StudioSnapshot& s)
{
    QJsonArray list;
    for (const EventRow& row : s.events) {
        QJsonObject o;
        o["id"] = double(row.event.id);
        o["name"] = row.event.name;
        o["enabled"] = row.event.enabled;
        o["lengthSeconds"] = row.event.plannedSeconds();
        o["nextStart"] = row.nextStartMs ? QJsonValue(double(*row.nextStartMs)) : QJsonValue(QJsonValue::Null);
        QJsonArray runs;
        for (const auto& r : row.recent)
            runs.append(runJson(r));
        o["recentRuns"] = runs;
        list.append(o);
    }
    QJsonObject o;
    o["events"] = list;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray event(const StudioSnapshot& s, qint64 id, const Viewer& viewer)
{
    const EventRow* row = findEvent(s, id);
    if (!row)
        return {};
    QString body = QString("<p>Starts %1, %2 s long; %3. Next start: %4.</p>")
                       .arg(esc(row->event.start.toString("HH:mm:ss")))
                       .arg(row->event.plannedSeconds())
                       .arg(row->event.enabled ? "enabled" : "disabled",
                            row->nextStartMs ? esc(localTime(*row->nextStartMs)) : QString("none"));
    if (mayOperate(viewer))
        body += "<p>" + operatorForm(viewer, QString("/events/%1/record-now").arg(id), "Record now") + "</p>";
    body += "<h2>Recent runs</h2><table><tr><th>Scheduled</th><th>Result</th><th>Slot</th><th>Detail</th>"
            "<th>LUFS</th><th>dBTP</th><th>LU</th><th>Silence s</th></tr>" +
            runRows(row->recent) + "</table>";
    return document(row->event.name, body, viewer);
}

QByteArray eventJson(const StudioSnapshot& s, qint64 id)
{
    const EventRow* row = findEvent(s, id);
    if (!row)
        return {};
    QJsonObject o;
    o["id"] = double(row->event.id);
    o["name"] = row->event.name;
    o["enabled"] = row->event.enabled;
    o["start"] = row->event.start.toString("HH:mm:ss");
    o["lengthSeconds"] = row->event.plannedSeconds();
    o["nextStart"] = row->nextStartMs ? QJsonValue(double(*row->nextStartMs)) : QJsonValue(QJsonValue::Null);
    QJsonArray runs;
    for (const auto& r : row->recent)
        runs.append(runJson(r));
    o["recentRuns"] = runs;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray library(const StudioSnapshot& s, const QString& search, const Viewer& viewer)
{
    QString body = QString("<form method=\"get\" action=\"/library\"><input name=\"q\" value=\"%1\" "
                           "placeholder=\"Name\"> <button>Search</button></form>")
                       .arg(esc(search));
    body += "<table><tr><th>Slot</th><th>Name</th><th>Length</th><th>Date</th><th>LUFS</th><th>dBTP</th><th>LU</th>"
            "<th>Silence s</th><th>Listen</th><th></th></tr>";
    for (const auto& [slot, row] : s.takes) {
        if (!matches(row, search))
            continue;
        body += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td>%5<td>")
                    .arg(slot)
                    .arg(esc(row.name), esc(row.length), esc(row.date), figuresCells(row.figures));
        if (row.fileSize >= 0)
            body += QString("<audio controls preload=\"none\" src=\"/library/%1/audio\"></audio></td>"
                            "<td><a href=\"/library/%1/download\" download>Download</a></td></tr>")
                        .arg(slot);
        else
            body += "(no file)</td><td></td></tr>";
    }
    body += "</table>";
    return document("Library", body, viewer);
}

QByteArray libraryJson(const StudioSnapshot& s, const QString& search)
{
    QJsonArray list;
    for (const auto& [slot, row] : s.takes) {
        if (!matches(row, search))
            continue;
        QJsonObject o;
        o["slot"] = slot;
        o["name"] = row.name;
        o["length"] = row.length;
        o["date"] = row.date;
        o["fileBytes"] = row.fileSize >= 0 ? QJsonValue(double(row.fileSize)) : QJsonValue(QJsonValue::Null);
        o["figures"] = figuresJson(row.figures);
        o["audio"] = QString("/library/%1/audio").arg(slot);
        o["download"] = QString("/library/%1/download").arg(slot);
        list.append(o);
    }
    QJsonObject o;
    o["slots"] = list;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray metrics(const StudioSnapshot& s)
{
    QString t;
    t += "# HELP tamblor_takes The takes in the library (used slots).\n# TYPE tamblor_takes gauge\n";
    t += QString("tamblor_takes %1\n").arg(s.takes.size());
    t += "# HELP tamblor_recording Whether a take is being written.\n# TYPE tamblor_recording gauge\n";
    t += QString("tamblor_recording %1\n").arg(s.now.take == "recording" ? 1 : 0);
    t += "# HELP tamblor_runs The runs of record events by result.\n# TYPE tamblor_runs gauge\n";
    for (int i = 0; i < schedule::RunResultCount; ++i)
        t += QString("tamblor_runs{result=\"%1\"} %2\n")
                 .arg(schedule::resultText(schedule::RunResult(i)))
                 .arg(s.runsByResult[size_t(i)]);
    t += "# HELP tamblor_silence_alarm Whether the silence alarm is raised.\n# TYPE tamblor_silence_alarm gauge\n";
    t += QString("tamblor_silence_alarm %1\n").arg(s.now.alarmRaised ? 1 : 0);
    t += "# HELP tamblor_free_bytes Free space on the library's drive.\n# TYPE tamblor_free_bytes gauge\n";
    t += QString("tamblor_free_bytes %1\n").arg(s.freeBytes);
    t += "# HELP tamblor_total_bytes Size of the library's drive.\n# TYPE tamblor_total_bytes gauge\n";
    t += QString("tamblor_total_bytes %1\n").arg(s.totalBytes);
    t += "# HELP tamblor_database_open Whether the program's database is open.\n# TYPE tamblor_database_open gauge\n";
    t += QString("tamblor_database_open %1\n").arg(s.databaseOpen ? 1 : 0);
    return t.toUtf8();
}

QByteArray framed(const QString& title, const QString& body, const Viewer& viewer)
{
    return document(title, body, viewer);
}

QByteArray signIn(const QString& message)
{
    QString body;
    if (!message.isEmpty())
        body += QString("<p>%1</p>").arg(esc(message));
    body += "<form method=\"post\" action=\"/signin\"><label>Token <input name=\"token\" type=\"password\" "
            "autocomplete=\"off\" size=\"70\"></label> <button>Sign in</button></form>";
    return document("Sign in", body, Viewer{});
}

QByteArray plain(const QString& title, const QString& text)
{
    return document(title, QString("<p>%1</p>").arg(esc(text)), Viewer{});
}

QByteArray actionDone(const QString& text, const QString& back)
{
    return document("Done", QString("<p>%1</p><p><a href=\"%2\">Back</a></p>").arg(esc(text), esc(back)), Viewer{});
}

} // namespace tamblor::web::Pages
