#include "studio/SilenceAlarm.h"
#include "core/Core.h"
#include "core/ProgramSettings.h"
#include "library/LibraryLayout.h"
#include "platform/ProgramStarter.h"
#include <QProcess>
#include <cmath>
#include <limits>

namespace tamblor {

SilenceAlarm::SilenceAlarm(Core& app, ProgramStarter& starter, QObject* parent)
    : QObject(parent), app_(app), starter_(&starter)
{
}

SilenceAlarm::~SilenceAlarm() = default;

void SilenceAlarm::begin(int slot, const QString& file, int channels, int sampleRate)
{
    end();
    const LoudnessPreferences p = ProgramSettings(app_.drives()).loudness();
    settings_.thresholdDbfs = p.silenceThresholdDbfs;
    settings_.silentSeconds = p.silenceSeconds;
    command_ = p.silenceCommand;
    detector_ = std::make_unique<audio::SilenceDetector>(channels, sampleRate, settings_);
    slot_ = slot;
    file_ = file;
    silentSeconds_ = 0;
    levelDbfs_ = -std::numeric_limits<double>::infinity();
    raisedAt_ = -1;
}

void SilenceAlarm::end()
{
    if (raised_)
        clear();
    detector_.reset();
}

void SilenceAlarm::add(const int16_t* samples, size_t frames)
{
    if (!detector_ || frames == 0)
        return;
    const std::vector<audio::SilenceChange> changes = detector_->add(samples, frames);
    for (const audio::SilenceChange& change : changes) {
        if (change.raised && !raised_) {
            raisedAt_ = change.frame;
            raise();
        } else if (!change.raised && raised_) {
            clear();
        }
    }
    // While raised, the silence goes on growing (and may grow louder) until sound ends it.
    if (raised_) {
        silentSeconds_ = detector_->alarmSilenceSeconds();
        levelDbfs_ = detector_->alarmLevelDbfs();
    }
}

void SilenceAlarm::raise()
{
    raised_ = true;
    // The silence as it stands (the samples fed may reach past the frame that raised it).
    silentSeconds_ = detector_->alarmSilenceSeconds();
    levelDbfs_ = detector_->alarmLevelDbfs();
    const QString dos = app_.drives().toDos(file_);
    const QString where = slot_ > 0 ? QStringLiteral("slot %1 (%2)").arg(slot_).arg(dos.isEmpty() ? file_ : dos)
                                    : (dos.isEmpty() ? file_ : dos);
    QString text = QStringLiteral("Silence on %1: below %2 dBFS for %3 seconds, level %4 dBFS.")
                       .arg(where)
                       .arg(settings_.thresholdDbfs, 0, 'f', 1)
                       .arg(settings_.silentSeconds, 0, 'g', 6)
                       .arg(levelText(levelDbfs_));
    const QStringList line = commandLine(command_, slot_, file_, levelDbfs_);
    if (!line.isEmpty() && !starter_->start(line.first(), line.mid(1)))
        text += QStringLiteral("\nThe silence command could not be started: %1").arg(line.first());
    app_.notices().raise(noticeKey(), "silence alarm", text, file_);
    emit raised(slot_, levelDbfs_);
}

void SilenceAlarm::clear()
{
    raised_ = false;
    app_.notices().clear(noticeKey());
    emit cleared(slot_);
}

QString SilenceAlarm::noticeKey() const { return QStringLiteral("silence"); }

QString SilenceAlarm::levelText(double dbfs)
{
    if (!std::isfinite(dbfs))
        return QStringLiteral("-inf");
    return QString::number(dbfs, 'f', 1);
}

QStringList SilenceAlarm::commandLine(const QString& command, int slot, const QString& file, double levelDbfs)
{
    QStringList line = QProcess::splitCommand(command);
    if (line.isEmpty())
        return line;
    line << QString::number(slot) << file << levelText(levelDbfs);
    return line;
}

} // namespace tamblor
