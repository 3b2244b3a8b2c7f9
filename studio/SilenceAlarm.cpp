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

void SilenceReport::add(audio::SilenceDetector& detector, const int16_t* samples, size_t frames)
{
    if (frames == 0)
        return;
    const std::vector<audio::SilenceChange> found = detector.add(samples, frames);
    alarmed = detector.alarmed();
    silentSeconds = detector.alarmSilenceSeconds();
    levelDbfs = detector.alarmLevelDbfs();
    for (const audio::SilenceChange& change : found)
        changes.push_back({change.raised, change.frame, silentSeconds, levelDbfs});
}

void SilenceAlarm::begin(int slot, const QString& file)
{
    end();
    const LoudnessPreferences p = ProgramSettings(app_.drives()).loudness();
    settings_.thresholdDbfs = p.silenceThresholdDbfs;
    settings_.silentSeconds = p.silenceSeconds;
    command_ = p.silenceCommand;
    watching_ = true;
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
    watching_ = false;
}

void SilenceAlarm::follow(const SilenceReport& report)
{
    if (!watching_)
        return;
    for (const SilenceReport::Change& change : report.changes) {
        if (change.raised && !raised_) {
            raisedAt_ = change.frame;
            // The silence as it stood (the block fed may reach past the frame that raised it).
            silentSeconds_ = change.silentSeconds;
            levelDbfs_ = change.levelDbfs;
            raise();
        } else if (!change.raised && raised_) {
            clear();
        }
    }
    // While raised, the silence goes on growing (and may grow louder) until sound ends it.
    if (raised_ && report.alarmed) {
        silentSeconds_ = report.silentSeconds;
        levelDbfs_ = report.levelDbfs;
    }
}

void SilenceAlarm::raise()
{
    raised_ = true;
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
