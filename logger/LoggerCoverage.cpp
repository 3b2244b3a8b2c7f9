#include "logger/LoggerCoverage.h"
#include "logger/SegmentTimes.h"
#include <QDateTime>
#include <QFileInfo>
#include <QStringList>
#include <QTimeZone>
#include <algorithm>

namespace tamblor::logger {

namespace {

constexpr qint64 HourMs = 3600000;
// Pieces of an hour shorter than this that nothing accounts for are the rounding of frames to
// milliseconds at the joints, not a loss.
constexpr qint64 ToleranceMs = 1000;

QString clock(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss");
}

// "09:00:00–10:00:00"; where the clocks change in between, each end with its offset.
QString fromTo(qint64 from, qint64 to)
{
    const int a = SegmentTimes::utcOffsetSeconds(from), b = SegmentTimes::utcOffsetSeconds(to);
    if (a == b)
        return clock(from) + QString::fromUtf8("\u2013") + clock(to);
    return clock(from) + " " + SegmentTimes::offsetText(a) + QString::fromUtf8("\u2013") + clock(to) + " " +
           SegmentTimes::offsetText(b);
}

struct Piece {
    qint64 from;
    qint64 to;
};

// The parts of [from, to) that none of `covered` reaches, each longer than the tolerance.
std::vector<Piece> uncovered(std::vector<Piece> covered, qint64 from, qint64 to)
{
    std::sort(covered.begin(), covered.end(), [](const Piece& a, const Piece& b) { return a.from < b.from; });
    std::vector<Piece> out;
    qint64 at = from;
    for (const Piece& p : covered) {
        if (p.to <= at)
            continue;
        if (p.from > at && p.from - at > ToleranceMs)
            out.push_back({at, std::min(p.from, to)});
        at = std::max(at, p.to);
        if (at >= to)
            break;
    }
    if (to - at > ToleranceMs)
        out.push_back({at, to});
    return out;
}

} // namespace

QString stateText(CoverageState state)
{
    switch (state) {
    case CoverageState::Future: return "Not yet";
    case CoverageState::Ok: return "OK";
    case CoverageState::Recording: return "Recording";
    case CoverageState::Deleted: return "Deleted (retention)";
    case CoverageState::Short: return "Short";
    case CoverageState::Clipped: return "Clipped";
    case CoverageState::Silent: return "Silent";
    case CoverageState::Gap: return "Gap (frames lost)";
    case CoverageState::Missing: return "Not recorded";
    case CoverageState::Unrecorded: return "Not recorded (cause known)";
    case CoverageState::DiskFull: return "Disk full";
    }
    return {};
}

QString stateKey(CoverageState state)
{
    switch (state) {
    case CoverageState::Future: return "future";
    case CoverageState::Ok: return "ok";
    case CoverageState::Recording: return "recording";
    case CoverageState::Deleted: return "deleted";
    case CoverageState::Short: return "short";
    case CoverageState::Clipped: return "clipped";
    case CoverageState::Silent: return "silent";
    case CoverageState::Gap: return "gap";
    case CoverageState::Missing: return "missing";
    case CoverageState::Unrecorded: return "unrecorded";
    case CoverageState::DiskFull: return "diskfull";
    }
    return {};
}

QString stateColour(CoverageState state)
{
    switch (state) {
    case CoverageState::Future: return "#f2f2f2";
    case CoverageState::Ok: return "#3c9a4b";
    case CoverageState::Recording: return "#8fd19e";
    case CoverageState::Deleted: return "#b0b0b0";
    case CoverageState::Short: return "#e6c02e";
    case CoverageState::Clipped: return "#e58a2b";
    case CoverageState::Silent: return "#6a8fd6";
    case CoverageState::Gap: return "#d9652b";
    case CoverageState::Missing: return "#505050";
    case CoverageState::Unrecorded: return "#7b3294";
    case CoverageState::DiskFull: return "#c62828";
    }
    return {};
}

CoverageState stateOf(SegmentResult result)
{
    switch (result) {
    case SegmentResult::Ok: return CoverageState::Ok;
    case SegmentResult::Short: return CoverageState::Short;
    case SegmentResult::Gap: return CoverageState::Gap;
    case SegmentResult::Silent: return CoverageState::Silent;
    case SegmentResult::Clipped: return CoverageState::Clipped;
    case SegmentResult::DiskFull: return CoverageState::DiskFull;
    }
    return CoverageState::Missing;
}

LoggerCoverage::LoggerCoverage(CoverageRows rows, qint64 nowMs) : rows_(std::move(rows)), nowMs_(nowMs) {}

std::vector<CoverageCell> LoggerCoverage::hoursOf(const QDate& date)
{
    const qint64 from = QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 to = QDateTime(date.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
    std::vector<CoverageCell> cells;
    for (qint64 start = from; start < to; start += HourMs) {
        CoverageCell c;
        c.startMs = start;
        c.endMs = std::min(start + HourMs, to);
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(start);
        c.hour = local.time().hour();
        c.utcOffsetSeconds = SegmentTimes::utcOffsetSeconds(start);
        c.label = local.toString("HH:mm") + " " + SegmentTimes::offsetText(c.utcOffsetSeconds);
        cells.push_back(c);
    }
    return cells;
}

std::pair<qint64, qint64> LoggerCoverage::span(const QDate& newest, int count)
{
    return {QDateTime(newest.addDays(1 - std::max(count, 1)), QTime(0, 0)).toMSecsSinceEpoch(),
            QDateTime(newest.addDays(1), QTime(0, 0)).toMSecsSinceEpoch()};
}

bool LoggerCoverage::beingWritten(const SegmentRecord& s) const
{
    return !s.closed && rows_.loggerRunning;
}

qint64 LoggerCoverage::recordedEnd(const SegmentRecord& s) const
{
    if (beingWritten(s))
        return std::max(s.startMs, std::min(nowMs_, s.endMs));
    return s.startMs + (s.sampleRate > 0 ? s.frames * 1000 / s.sampleRate : 0);
}

CoverageDay LoggerCoverage::day(const QDate& date) const
{
    CoverageDay d{date, hoursOf(date)};
    for (CoverageCell& c : d.cells)
        c = judge(c);
    return d;
}

std::vector<CoverageDay> LoggerCoverage::days(const QDate& newest, int count) const
{
    std::vector<CoverageDay> out;
    for (int i = 0; i < count; ++i)
        out.push_back(day(newest.addDays(-i)));
    return out;
}

CoverageCell LoggerCoverage::judge(CoverageCell cell) const
{
    const int endOffset = SegmentTimes::utcOffsetSeconds(cell.endMs);
    QString head = QDateTime::fromMSecsSinceEpoch(cell.startMs).toString("ddd yyyy-MM-dd HH:mm");
    if (endOffset != cell.utcOffsetSeconds)
        head += " " + SegmentTimes::offsetText(cell.utcOffsetSeconds);
    head += QString::fromUtf8("\u2013") + QDateTime::fromMSecsSinceEpoch(cell.endMs).toString("HH:mm") + " " +
            SegmentTimes::offsetText(endOffset);
    QStringList lines;
    CoverageState worst = CoverageState::Future;
    auto note = [&worst](CoverageState s) { worst = std::max(worst, s); };
    const qint64 pastEnd = std::min(cell.endMs, nowMs_);
    std::vector<Piece> covered;

    for (const SegmentRecord& s : rows_.segments) {
        const qint64 end = recordedEnd(s);
        // A segment that holds no sound still counts where it was meant to begin.
        const qint64 reach = std::max(end, s.startMs + 1);
        if (s.startMs >= cell.endMs || reach <= cell.startMs)
            continue;
        const QString file = QFileInfo(s.path).fileName();
        CoverageState state;
        QString what;
        if (s.deletedMs) {
            state = CoverageState::Deleted;
            what = QString("deleted by retention on %1 (it was %2)")
                       .arg(QDateTime::fromMSecsSinceEpoch(*s.deletedMs).toString("yyyy-MM-dd"),
                            s.result ? resultText(*s.result) : QString("not closed"));
        } else if (beingWritten(s)) {
            state = CoverageState::Recording;
            what = "being recorded now";
        } else if (!s.result) {
            state = CoverageState::Short;
            what = "the logger ended without closing it (its row is completed when the logger starts again)";
        } else {
            state = stateOf(*s.result);
            what = resultText(*s.result);
            if (!s.reason.isEmpty())
                what += ": " + s.reason;
        }
        note(state);
        lines << QString("%1 %2, %3").arg(fromTo(s.startMs, end), file, what);
        covered.push_back({s.startMs, end});
    }
    for (const Gap& g : rows_.gaps) {
        if (g.startMs >= cell.endMs || g.endMs <= cell.startMs)
            continue;
        note(CoverageState::Unrecorded);
        lines << QString("%1 not recorded: %2").arg(fromTo(g.startMs, g.endMs), g.cause);
        covered.push_back({g.startMs, g.endMs});
    }
    if (cell.startMs < nowMs_) {
        const auto missing = uncovered(covered, cell.startMs, pastEnd);
        for (const Piece& p : missing)
            lines << QString("%1 no recording%2")
                         .arg(fromTo(p.from, p.to), rows_.loggerRunning ? QString() : QString(" (the logger is not running)"));
        if (!missing.empty())
            note(CoverageState::Missing);
    }
    for (const Hold& h : rows_.holds) {
        if (h.startMs >= cell.endMs || h.endMs <= cell.startMs)
            continue;
        cell.held = true;
        lines << QString("On hold %1 %2%3")
                     .arg(QDateTime::fromMSecsSinceEpoch(h.startMs).toString("yyyy-MM-dd HH:mm"),
                          QString::fromUtf8("\u2013 ") + QDateTime::fromMSecsSinceEpoch(h.endMs).toString("yyyy-MM-dd HH:mm"),
                          h.note.isEmpty() ? QString() : ": " + h.note);
    }
    if (cell.startMs >= nowMs_)
        lines << "Not yet recorded";
    cell.state = worst;
    cell.reason = head + ": " + stateText(worst) + (cell.held ? ", on hold" : "") + "\n" + lines.join('\n');
    return cell;
}

std::optional<PlayPosition> LoggerCoverage::positionAt(qint64 ms, qint64 untilMs) const
{
    const SegmentRecord* holding = nullptr;
    const SegmentRecord* following = nullptr;
    for (const SegmentRecord& s : rows_.segments) {
        if (s.deletedMs || s.sampleRate <= 0 || s.path.isEmpty())
            continue;
        const qint64 end = recordedEnd(s);
        if (s.startMs <= ms && ms < end)
            holding = &s; // the one begun last wins
        else if (s.startMs > ms && s.startMs < untilMs && end > s.startMs && (!following || s.startMs < following->startMs))
            following = &s;
    }
    const SegmentRecord* s = holding ? holding : following;
    if (!s)
        return std::nullopt;
    PlayPosition p;
    p.segmentId = s->id;
    p.path = s->readPath();
    p.segmentStartMs = s->startMs;
    p.sampleRate = s->sampleRate;
    if (holding) {
        p.frame = (ms - s->startMs) * s->sampleRate / 1000;
        if (!beingWritten(*s) && s->frames > 0)
            p.frame = std::min(p.frame, s->frames - 1);
    }
    return p;
}

} // namespace tamblor::logger
