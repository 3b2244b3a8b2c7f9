#pragma once
// Dead air on a take being written or a file being played: told what a silence detector found
// in the programme's samples, it raises its alarm once the level has stayed below the threshold
// for the set time (the preferences' values, taken when a programme begins), and clears it after
// five seconds of sound. Raised, it tells the operator in the message window, naming the slot,
// and starts the preferences' command once with the slot, the file and the level as its
// arguments. It never stops a take or a playback.
//
// The detector runs wherever the samples are (the programme watch's worker thread); what it found
// reaches the alarm as a SilenceReport, a plain value. The alarm itself lives on the
// user-interface thread, where the notices and its signals are. It needs no window: the studio's
// programme watch feeds it for every take and every file it plays, whoever started them.
#include "audio/loudness/SilenceDetector.h"
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace tamblor {

class Core;
class ProgramStarter;

// What a silence detector found in the samples it was fed since the last report: the changes of
// its alarm in order, and the dead air as it stands after the last sample.
struct SilenceReport {
    struct Change {
        bool raised;
        int64_t frame; // counted from the start of the programme
        // The silence that raised the alarm as it stood after the block holding the change.
        double silentSeconds;
        double levelDbfs;
    };
    std::vector<Change> changes;
    bool alarmed = false;
    // While alarmed: the silence that raised the alarm so far and its level (see
    // SilenceDetector::alarmSilenceSeconds and alarmLevelDbfs).
    double silentSeconds = 0;
    double levelDbfs = 0;

    // Feeds `detector` a block of interleaved frames and notes what it found.
    void add(audio::SilenceDetector& detector, const int16_t* samples, size_t frames);
    // Nothing to tell: no change and no alarm.
    bool isQuiet() const { return changes.empty() && !alarmed; }
};

class SilenceAlarm : public QObject {
    Q_OBJECT
public:
    SilenceAlarm(Core& app, ProgramStarter& starter, QObject* parent = nullptr);
    ~SilenceAlarm() override;

    // The program the command is started through (tests record the start instead).
    void setStarter(ProgramStarter& starter) { starter_ = &starter; }

    // Starts watching a programme: the take of `slot` or a file played (slot 0 when it is no
    // slot file), `file` its native path. The threshold, time and command are read from the
    // preferences now; the detector fed the programme's samples is made with settings().
    void begin(int slot, const QString& file);
    // Stops watching; an alarm still raised is cleared.
    void end();
    bool isWatching() const { return watching_; }

    // What the programme's detector found since the last report, in order.
    void follow(const SilenceReport& report);

    bool isRaised() const { return raised_; }
    int slot() const { return slot_; }
    QString file() const { return file_; }
    // The silence that raised the alarm: how long it has lasted (it stops growing when sound
    // comes back) and its level in dBFS (-inf for digital silence).
    double silentSeconds() const { return silentSeconds_; }
    double levelDbfs() const { return levelDbfs_; }
    // The frame of the programme at which the alarm was last raised (-1 before).
    int64_t raisedAtFrame() const { return raisedAt_; }
    // The settings of the programme watched (or last watched).
    audio::SilenceSettings settings() const { return settings_; }

    // "-62.3", "-inf" for digital silence: the level as the command receives it.
    static QString levelText(double dbfs);
    // The command's program and arguments: `command` split as a command line, then the slot,
    // the file and the level. Empty for an empty command.
    static QStringList commandLine(const QString& command, int slot, const QString& file, double levelDbfs);

signals:
    void raised(int slot, double levelDbfs);
    void cleared(int slot);

private:
    void raise();
    void clear();

    // The key of the alarm among the program's lasting conditions.
    QString noticeKey() const;

    Core& app_;
    ProgramStarter* starter_;
    bool watching_ = false;
    audio::SilenceSettings settings_;
    QString command_;
    int slot_ = 0;
    QString file_;
    bool raised_ = false;
    double silentSeconds_ = 0;
    double levelDbfs_ = 0;
    int64_t raisedAt_ = -1;
};

} // namespace tamblor
