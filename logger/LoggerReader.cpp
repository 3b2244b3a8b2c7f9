#include "logger/LoggerReader.h"
#include "core/Core.h"
#include "core/SingleInstance.h"
#include "logger/Logger.h"
#include <limits>

namespace tamblor::logger {

LoggerReader::LoggerReader(Core& core, QObject* parent)
    : QObject(parent), core_(core), store_(core, store::ProgramDatabase::Access::ReadOnly)
{
}

qint64 LoggerReader::nowMs() const
{
    return core_.clock().now().toMSecsSinceEpoch();
}

LoggerSettings LoggerReader::settings() const
{
    return LoggerSettings::read(core_.drives());
}

bool LoggerReader::refresh()
{
    if (!store_.isOpen() && core_.isStarted() && !core_.isEnding())
        store_.database().open();
    return store_.isOpen();
}

bool LoggerReader::isRunning() const
{
    return SingleInstance::isHeld(core_.drives().root(), Logger::LockName);
}

LoggerStatus LoggerReader::status()
{
    LoggerStatus s;
    s.running = SingleInstance::isHeld(core_.drives().root(), Logger::LockName, &s.pid);
    s.database = store_.database().fileExists();
    s.open = refresh();
    const LoggerSettings settings = this->settings();
    s.retentionDays = settings.retentionDays;
    if (!s.open) {
        s.problem = store_.database().report();
        return s;
    }
    try {
        s.lastSegment = store_.lastSegment();
        const auto kept = store_.keptBefore(std::numeric_limits<qint64>::max());
        Retention retention(store_, settings.folders(), settings.retentionDays);
        s.forecast = retention.forecast(Retention::bytesPerSecond(settings, kept));
    } catch (const Failure& f) {
        // Busy or gone since it opened: closed, and opened again at the next look.
        s.problem = f.text();
        store_.database().close();
        s.open = false;
    }
    return s;
}

CoverageRows LoggerReader::rows(qint64 fromMs, qint64 toMs)
{
    CoverageRows r;
    r.loggerRunning = isRunning();
    if (!refresh())
        return r;
    try {
        r.segments = store_.segmentsOverlapping(fromMs, toMs);
        r.gaps = store_.gapsOverlapping(fromMs, toMs);
        for (const Hold& h : store_.holds())
            if (h.startMs < toMs && h.endMs > fromMs)
                r.holds.push_back(h);
    } catch (const Failure&) {
        store_.database().close();
        return CoverageRows{{}, {}, {}, r.loggerRunning};
    }
    return r;
}

LoggerCoverage LoggerReader::coverage(const QDate& newest, int count)
{
    const auto [from, to] = LoggerCoverage::span(newest, count);
    return LoggerCoverage(rows(from, to), nowMs());
}

} // namespace tamblor::logger
