#pragma once
// Keeps the logger's segments for their retention period and no longer: a segment whose
// recorded start lies more than N days back is deleted, unless a hold covers any part of it.
// Only files the logger recorded itself (its rows) inside its own folder are ever touched.
//
// It also forecasts how long the disk holds out. In the steady state the logger deletes as
// much as it records, so the free space alone says little (a disk holding 41 of 42 days with
// two days free is fine): the forecast is the days of recording the logger's own files and the
// free space hold together, at the rate of the last segments, and the alarm is due when that
// falls below the retention period. With a second folder on another disk each disk is forecast
// on its own and the tighter one stands.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

namespace tamblor::logger {

class LoggerStore;
struct LoggerSettings;
struct SegmentRecord;

struct RetentionReport {
    int deleted = 0;
    int held = 0;       // old enough, but on hold
    int refused = 0;    // not the logger's own file, or could not be deleted
    QStringList failures;
};

struct SpaceForecast {
    QString folder;              // the disk the forecast is of (the tighter one)
    qint64 freeBytes = 0;
    qint64 keptBytes = 0;        // the logger's own segments on disk
    double bytesPerDay = 0;
    double freeDays = 0;         // the free space alone
    double capacityDays = 0;     // free space and kept segments together
    bool belowRetention = false;
};

class Retention {
public:
    // `folders`: the logger's folder, then the second folder when there is one.
    Retention(LoggerStore& store, const QStringList& folders, int days);

    RetentionReport apply(qint64 nowMs);
    // `bytesPerSecond` of recording now (the format's rate, or what FLAC achieves): the tighter
    // disk's forecast. Reads only: a folder not made yet is judged by the disk it would be made on.
    SpaceForecast forecast(double bytesPerSecond) const;
    SpaceForecast forecastOf(int folder, double bytesPerSecond) const;
    // The bytes a second of recording takes in the settings' format: WAV by its rate, FLAC by
    // what the last day of `kept` segments (oldest first) took.
    static double bytesPerSecond(const LoggerSettings& settings, const std::vector<SegmentRecord>& kept);
    // Whether `path` is a segment file inside one of the logger's folders.
    bool isOwnFile(const QString& path) const;

private:
    LoggerStore& store_;
    QStringList folders_;
    int days_;
};

} // namespace tamblor::logger
