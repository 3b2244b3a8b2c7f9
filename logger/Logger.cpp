#include "logger/Logger.h"
#include "core/Core.h"
#include "core/ProgramSettings.h"
#include "logger/SegmentTimes.h"
#include "platform/Failure.h"
#include "platform/ProgramStarter.h"
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <limits>
#include <map>

namespace tamblor::logger {

Logger::Logger(Core& core, ProgramStarter& starter, QObject* parent)
    : QObject(parent), core_(core), starter_(starter), store_(core), input_(core.audio()), alarm_(core, starter)
{
    timer_.setInterval(PollMs);
    connect(&timer_, &QTimer::timeout, this, &Logger::poll);
    connect(&check_, &SegmentCheck::finished, this,
            [this](const std::vector<SegmentCheck::Finding>& findings, int checked) {
                const qint64 now = nowMs();
                QStringList texts;
                // A segment's finding names the copy when it has two.
                std::map<qint64, QStringList> bad;
                for (const auto& f : findings) {
                    texts << f.path + ": " + f.problem;
                    bad[f.id] << (settings_.secondFolder.isEmpty() ? f.problem : f.path + ": " + f.problem);
                }
                if (store_.isOpen())
                    for (const auto& item : checked_)
                        store_.markChecked(item, now, bad.count(item) ? bad[item].join("; ") : QString());
                if (!findings.empty())
                    raiseAlarm("check", "check",
                               QString("The daily check found %1 of %2 segment files not as recorded: %3")
                                   .arg(findings.size())
                                   .arg(checked)
                                   .arg(texts.join("; ")));
                else
                    core_.notices().clear("logger-check");
                emit checkFinished(checked, int(findings.size()));
            });
}

Logger::~Logger()
{
    stop();
}

qint64 Logger::nowMs() const
{
    return core_.clock().now().toMSecsSinceEpoch();
}

int Logger::findDevice() const
{
    if (settings_.deviceName.isEmpty())
        return audio::AudioBackend::DefaultDevice;
    for (int i = 0; i < input_.deviceCount(); ++i)
        if (input_.deviceName(i) == settings_.deviceName)
            return i;
    return -2;
}

void Logger::raiseAlarm(const QString& key, const QString& cause, const QString& text)
{
    core_.notices().raise("logger-" + key, "logger", text, settings_.folder, Notice::Severity::Error);
    QStringList line = QProcess::splitCommand(settings_.alarmCommand);
    if (!line.isEmpty() && !starter_.start(line.first(), line.mid(1) << cause << text))
        core_.notices().tell("logger", "The alarm command " + settings_.alarmCommand + " could not be started.",
                             Notice::Severity::Error);
}

void Logger::recover(qint64 now)
{
    if (!store_.isOpen())
        return;
    const auto previous = store_.runBefore(0);
    // Segments a run left open: what the file's header holds is what was kept.
    for (SegmentRecord r : store_.unclosed()) {
        const qint64 frames = SegmentFile::framesIn(r.path);
        r.frames = std::max<qint64>(frames, 0);
        r.closed = true;
        r.result = SegmentResult::Short;
        r.reason = frames < 0 ? "the logger ended without closing it and the file does not open"
                              : QString("the logger ended without closing it; its header holds %1 frames").arg(frames);
        r.sha256 = fileSha256(r.path);
        if (r.second.exists()) {
            const qint64 second = SegmentFile::framesIn(r.second.path);
            r.second.frames = std::max<qint64>(second, 0);
            r.second.sha256 = fileSha256(r.second.path);
            r.reason += second < 0 ? QString("; its copy in the second folder does not open")
                                   : QString("; its copy in the second folder holds %1 frames").arg(second);
        }
        store_.update(r);
    }
    if (previous) {
        const qint64 lastEnd = store_.lastRecordedEnd().value_or(previous->endedMs.value_or(previous->startedMs));
        if (now > lastEnd) {
            const QString cause = previous->endedMs
                                      ? QString("the logger was stopped")
                                      : QString("the logger ended without closing (killed, crashed or the machine stopped)");
            store_.addGap({0, lastEnd, now, (now - lastEnd) * settings_.rate / 1000, cause});
            if (!previous->endedMs)
                core_.notices().tell("logger",
                                     QString("The logger did not end cleanly last time: %1 s were not recorded (%2).")
                                         .arg(double(now - lastEnd) / 1000.0, 0, 'f', 1)
                                         .arg(cause),
                                     Notice::Severity::Warning);
        }
    }
    runId_ = store_.beginRun(now);
}

void Logger::start()
{
    if (running_)
        return;
    settings_ = LoggerSettings::read(core_.drives());
    const int device = findDevice();
    if (device == -2)
        raiseAlarm("device", "device",
                   "The logger's input " + settings_.deviceName + " is not there; it records the system's default input.");
    input_.setDeviceId(device == -2 ? audio::AudioBackend::DefaultDevice : device);
    input_.setStreamRate(settings_.rate);
    input_.setMode(settings_.channels == 2 ? audio::InputDevice::Stereo : audio::InputDevice::Mono);
    // The tap is taken every PollMs: the worker need not look for buffers every 10 ms.
    input_.setWorkerPollMs(WorkerPollMs);

    RecorderSettings rs;
    rs.folder = settings_.folder;
    rs.secondFolder = settings_.secondFolder;
    rs.encoding = settings_.encoding;
    rs.rate = settings_.rate;
    rs.channels = settings_.channels;
    rs.segmentMinutes = settings_.segmentMinutes;
    const LoudnessPreferences loudness = ProgramSettings(core_.drives()).loudness();
    rs.silenceThresholdDbfs = loudness.silenceThresholdDbfs;
    recorder_ = std::make_unique<SegmentRecorder>(rs);
    recorder_->opened = [this](SegmentRecord& r) {
        if (store_.isOpen())
            store_.insert(r, runId_);
    };
    recorder_->closed = [this](SegmentRecord& r) { onClosed(r); };
    recorder_->unrecorded = [this](const Unrecorded& u) {
        if (store_.isOpen())
            store_.addGap({0, u.startMs, u.endMs, u.frames, u.cause});
        raiseAlarm("write", "write", "The logger could not write: " + u.cause);
    };
    recorder_->copyFailed = [this](const QString& folder, const QString& cause) {
        raiseAlarm("copy-" + folder, "write",
                   "The logger's copy in " + folder + " failed (the other folder carries on): " + cause);
    };
    retention_ = std::make_unique<Retention>(store_, settings_.folders(), settings_.retentionDays);

    input_.tap().open();
    input_.start();
    const qint64 now = nowMs();
    recover(now);
    tapLost_ = input_.tap().lostFrames();
    dropped_ = input_.droppedFrames();
    delivered_ = 0;
    recorder_->begin(now);
    alarm_.begin(0, settings_.folder);
    detector_ = std::make_unique<audio::SilenceDetector>(settings_.channels, settings_.rate, alarm_.settings());
    buffer_.assign(size_t(8192 * settings_.channels), 0);
    running_ = true;
    lastUpkeepMs_ = now;
    lastCheckMs_ = now;
    upkeep();
    if (!inhibitor_.acquire("Tamblor logger", "Recording the station's input round the clock"))
        core_.notices().tell("logger", "The logger cannot keep the machine from sleeping: " + inhibitor_.reason(),
                             Notice::Severity::Warning);
    watchdog_.ready();
    if (timed_)
        timer_.start();
}

qint64 Logger::drain()
{
    const qint64 channels = settings_.channels;
    auto& tap = input_.tap();
    while (true) {
        const size_t got = tap.take(buffer_.data(), buffer_.size() / size_t(channels));
        if (got == 0)
            break;
        recorder_->addFrames(buffer_.data(), qint64(got));
        SilenceReport report;
        report.add(*detector_, buffer_.data(), got);
        if (!report.isQuiet())
            alarm_.follow(report);
    }
    // What the tap or the input's ring could not keep is filled with silence here.
    const quint64 lost = tap.lostFrames() + input_.droppedFrames();
    const qint64 fresh = lost > tapLost_ + dropped_ ? qint64(lost - tapLost_ - dropped_) : 0;
    recorder_->addLost(fresh);
    tapLost_ = tap.lostFrames();
    dropped_ = input_.droppedFrames();
    return fresh;
}

void Logger::poll()
{
    if (!running_)
        return;
    const qint64 now = nowMs();
    const qint64 delivered = qint64(input_.samplesDelivered() / quint64(settings_.channels) + input_.droppedFrames());
    recorder_->noteInput(delivered, now);
    const qint64 lost = drain();
    // The watchdog hears from a logger that is well: frames came, and the files kept up (no
    // frame lost on the way to them, no file refusing to be written).
    const bool arrived = delivered > delivered_;
    delivered_ = delivered;
    if (arrived && lost == 0 && !recorder_->isBlocked() && !input_.deviceFailed())
        watchdog_.feed(core_.clock().steadyMs());
    if (now - lastCheckMs_ >= CheckEveryMs && checkFiles())
        lastCheckMs_ = now;
    if (now - lastUpkeepMs_ >= UpkeepEveryMs) {
        lastUpkeepMs_ = now;
        upkeep();
    }
}

void Logger::upkeep()
{
    if (!retention_ || !store_.isOpen())
        return;
    const RetentionReport r = retention_->apply(nowMs());
    if (!r.failures.isEmpty())
        core_.notices().tell("logger", "Retention: " + r.failures.join("; "), Notice::Severity::Warning);
    const double bytesPerSecond = Retention::bytesPerSecond(settings_, store_.keptBefore(nowMs()));
    forecast_ = retention_->forecast(bytesPerSecond);
    if (forecast_.belowRetention)
        raiseAlarm("space", "space",
                   QString("The logger's disk at %1 holds %2 days of recording, less than the %3 days kept (%4 days of free space).")
                       .arg(forecast_.folder)
                       .arg(forecast_.capacityDays, 0, 'f', 1)
                       .arg(settings_.retentionDays)
                       .arg(forecast_.freeDays, 0, 'f', 1));
    else
        core_.notices().clear("logger-space");
}

bool Logger::checkFiles()
{
    if (!store_.isOpen() || check_.isRunning())
        return false;
    std::vector<SegmentCheck::Item> items;
    checked_.clear();
    for (const SegmentRecord& r : store_.keptBefore(std::numeric_limits<qint64>::max())) {
        if (!r.closed)
            continue;
        // Every copy is read, each against the SHA-256 of its own file.
        if (!r.sha256.isEmpty())
            items.push_back({r.id, r.path, r.sha256});
        if (r.second.exists() && !r.second.sha256.isEmpty())
            items.push_back({r.id, r.second.path, r.second.sha256});
        if (!r.sha256.isEmpty() || !r.second.sha256.isEmpty())
            checked_.push_back(r.id);
    }
    return check_.start(std::move(items));
}

void Logger::onClosed(SegmentRecord& r)
{
    r.clockSync = clockSync_.state();
    if (store_.isOpen()) {
        try {
            store_.update(r);
        } catch (const Failure& f) {
            core_.notices().fail("logger", f, r.path);
        }
    }
    // A copy written whole again: its disk is back.
    if (r.problem.isEmpty())
        core_.notices().clear("logger-copy-" + settings_.folder);
    if (r.second.exists() && r.second.problem.isEmpty())
        core_.notices().clear("logger-copy-" + settings_.secondFolder);
    if (std::abs(r.ppm) > PpmWarning)
        core_.notices().tell("logger",
                             QString("The logger's input runs %1 ppm from the system clock.").arg(r.ppm, 0, 'f', 0),
                             Notice::Severity::Warning, r.path);
    if (r.result == SegmentResult::Gap || r.result == SegmentResult::DiskFull || r.result == SegmentResult::Silent)
        core_.notices().tell("logger", QFileInfo(r.path).fileName() + ": " + resultText(*r.result) + " (" + r.reason + ")",
                             Notice::Severity::Warning, r.path);
    emit segmentClosed(r);
}

void Logger::stop()
{
    if (!running_)
        return;
    timer_.stop();
    input_.stop();
    input_.syncWorker();
    const qint64 now = nowMs();
    recorder_->noteInput(qint64(input_.samplesDelivered() / quint64(settings_.channels) + input_.droppedFrames()), now);
    drain();
    recorder_->end();
    input_.tap().close();
    input_.release();
    alarm_.end();
    if (store_.isOpen())
        store_.endRun(runId_, now);
    inhibitor_.release();
    watchdog_.stopping();
    running_ = false;
}

} // namespace tamblor::logger
