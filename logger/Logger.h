#pragma once
// The logger as a whole, on the core: it records the input its settings choose into segments
// (SegmentRecorder) until stopped, keeps a row for every segment and every span it has no
// recording of (LoggerStore), watches the input for dead air (the program's SilenceAlarm),
// deletes what is past the retention period (Retention), forecasts the disk, and feeds the
// service manager's watchdog only while frames arrive and the files keep up.
//
// Everything happens on the thread it was made on, one poll() at a time; the input's worker
// fills the tap between polls. A timer polls while it runs; a test calls poll() itself after
// stepping the virtual card and the core's clock.
#include "audio/devices/InputDevice.h"
#include "audio/loudness/SilenceDetector.h"
#include "logger/ClockSync.h"
#include "logger/LoggerSettings.h"
#include "logger/LoggerStore.h"
#include "logger/Retention.h"
#include "logger/SegmentCheck.h"
#include "logger/SegmentRecorder.h"
#include "logger/Watchdog.h"
#include "platform/SleepInhibitor.h"
#include "studio/SilenceAlarm.h"
#include <QObject>
#include <QTimer>
#include <memory>

namespace tamblor {
class Core;
class ProgramStarter;
} // namespace tamblor

namespace tamblor::logger {

class Logger : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMs = 200;
    // Its one-program-per-root lock (SingleInstance), beside the main program's.
    static constexpr const char* LockName = "TamblorLogger";
    // How often the input's worker moves full buffers to the tap (its ring holds seconds).
    static constexpr int WorkerPollMs = 50;
    // Retention and the disk forecast run this often.
    static constexpr qint64 UpkeepEveryMs = 600000;

    // Opens the database with the core's start-up; start() after it.
    Logger(Core& core, ProgramStarter& starter, QObject* parent = nullptr);
    ~Logger() override;

    void setClockSync(ClockSync sync) { clockSync_ = std::move(sync); }
    void setWatchdog(Watchdog watchdog) { watchdog_ = std::move(watchdog); }
    // Polls on a timer of its own (true, the program) or only when poll() is called (a test).
    void setTimed(bool timed) { timed_ = timed; }

    // Reads the settings, notes the span since the last run, opens the input and begins the
    // first segment. Throws Failure when the input cannot be opened.
    void start();
    void poll();
    // Stops the input, writes what it still gave and closes the segment.
    void stop();
    bool isRunning() const { return running_; }

    const LoggerSettings& settings() const { return settings_; }
    LoggerStore& store() { return store_; }
    audio::InputDevice& input() { return input_; }
    SegmentRecorder* recorder() { return recorder_.get(); }
    SilenceAlarm& silenceAlarm() { return alarm_; }
    // The last forecast of the disk.
    const SpaceForecast& forecast() const { return forecast_; }
    const SleepInhibitor& sleepInhibitor() const { return inhibitor_; }
    // Retention and the forecast now (also done every UpkeepEveryMs).
    void upkeep();
    // Every kept segment read again and compared with its SHA-256, on a worker thread (also
    // done every CheckEveryMs); checkFinished() follows. False when a check is under way.
    bool checkFiles();
    static constexpr qint64 CheckEveryMs = 86400000;

signals:
    void segmentClosed(const tamblor::logger::SegmentRecord& record);
    void checkFinished(int checked, int problems);

private:
    qint64 nowMs() const;
    void recover(qint64 nowMs);
    void onClosed(SegmentRecord& record);
    void raiseAlarm(const QString& key, const QString& cause, const QString& text);
    // Takes what the tap holds into the segments; returns the frames lost on the way since the
    // last time (filled with silence).
    qint64 drain();
    int findDevice() const;

    Core& core_;
    ProgramStarter& starter_;
    LoggerStore store_;
    audio::InputDevice input_;
    SilenceAlarm alarm_;
    ClockSync clockSync_;
    Watchdog watchdog_;
    LoggerSettings settings_;
    std::unique_ptr<SegmentRecorder> recorder_;
    std::unique_ptr<audio::SilenceDetector> detector_;
    std::unique_ptr<Retention> retention_;
    SegmentCheck check_;
    SleepInhibitor inhibitor_;
    qint64 lastCheckMs_ = 0;
    std::vector<qint64> checked_;
    SpaceForecast forecast_;
    QTimer timer_;
    bool timed_ = true;
    bool running_ = false;
    qint64 runId_ = 0;
    quint64 tapLost_ = 0;
    quint64 dropped_ = 0;
    qint64 delivered_ = 0;
    qint64 lastUpkeepMs_ = 0;
    std::vector<int16_t> buffer_;
};

} // namespace tamblor::logger
