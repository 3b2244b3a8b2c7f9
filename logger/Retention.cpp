#include "logger/Retention.h"
#include "logger/LoggerSettings.h"
#include "logger/LoggerStore.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <limits>

namespace tamblor::logger {

Retention::Retention(LoggerStore& store, const QStringList& folders, int days) : store_(store), days_(days)
{
    for (const QString& folder : folders)
        folders_ << QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

bool Retention::isOwnFile(const QString& path) const
{
    static const QRegularExpression name(R"(^\d{4}-\d{2}-\d{2}T\d{6}[+-]\d{4}(-\d+)?\.(wav|flac)$)");
    static const QRegularExpression day(R"(^\d{4}-\d{2}-\d{2}$)");
    const QFileInfo file(path);
    const QFileInfo dayFolder(QDir::cleanPath(file.absolutePath()));
    return folders_.contains(QDir::cleanPath(dayFolder.absolutePath())) && day.match(dayFolder.fileName()).hasMatch() &&
           name.match(file.fileName()).hasMatch();
}

RetentionReport Retention::apply(qint64 nowMs)
{
    RetentionReport report;
    const qint64 cutoff = nowMs - qint64(days_) * 86400000;
    const auto holds = store_.holds();
    for (const SegmentRecord& s : store_.keptBefore(cutoff)) {
        // A segment is deleted only once its whole span is past the period.
        const qint64 end = s.startMs + (s.sampleRate > 0 ? s.frames * 1000 / s.sampleRate : 0);
        if (end >= cutoff || !s.closed)
            continue;
        bool held = false;
        for (const Hold& h : holds)
            held = held || (h.startMs < end && s.startMs < h.endMs);
        if (held) {
            ++report.held;
            continue;
        }
        // Every copy goes, each from its own disk; the row is marked once none is left.
        bool refused = false;
        for (const QString& path : s.paths()) {
            if (!isOwnFile(path)) {
                refused = true;
                report.failures << path + " is not in the logger's folders";
            } else if (QFileInfo::exists(path) && !QFile::remove(path)) {
                refused = true;
                report.failures << path + " could not be deleted";
            } else {
                // The day's folder goes with its last segment (rmdir leaves a folder that is not empty).
                QDir().rmdir(QFileInfo(path).absolutePath());
            }
        }
        if (refused) {
            ++report.refused;
            continue;
        }
        store_.markDeleted(s.id, nowMs);
        ++report.deleted;
    }
    return report;
}

SpaceForecast Retention::forecast(double bytesPerSecond) const
{
    SpaceForecast tightest;
    for (int i = 0; i < int(folders_.size()); ++i) {
        const SpaceForecast f = forecastOf(i, bytesPerSecond);
        if (i == 0 || f.capacityDays < tightest.capacityDays)
            tightest = f;
    }
    return tightest;
}

SpaceForecast Retention::forecastOf(int folder, double bytesPerSecond) const
{
    SpaceForecast f;
    f.folder = folders_.value(folder);
    QString existing = f.folder;
    while (!QFileInfo(existing).isDir() && existing != QDir::rootPath())
        existing = QFileInfo(existing).absolutePath();
    const QStorageInfo storage(existing);
    f.freeBytes = storage.bytesAvailable();
    for (const SegmentRecord& s : store_.keptBefore(std::numeric_limits<qint64>::max()))
        f.keptBytes += QFileInfo(folder == 0 ? s.path : s.second.path).size();
    f.bytesPerDay = bytesPerSecond * 86400.0;
    if (f.bytesPerDay > 0) {
        f.freeDays = double(f.freeBytes) / f.bytesPerDay;
        f.capacityDays = double(f.freeBytes + f.keptBytes) / f.bytesPerDay;
    }
    f.belowRetention = f.bytesPerDay > 0 && f.capacityDays < days_;
    return f;
}

double Retention::bytesPerSecond(const LoggerSettings& settings, const std::vector<SegmentRecord>& kept)
{
    double rate = double(settings.rate) * settings.channels * (settings.encoding == FileEncoding::Wav24 ? 3 : 2);
    if (settings.encoding == FileEncoding::Flac) {
        qint64 bytes = 0, frames = 0;
        for (auto it = kept.rbegin(); it != kept.rend() && frames < qint64(settings.rate) * 86400; ++it) {
            bytes += QFileInfo(it->path).size();
            frames += it->frames;
        }
        if (frames > qint64(settings.rate) * 60)
            rate = double(bytes) * settings.rate / double(frames);
    }
    return rate;
}

} // namespace tamblor::logger
