#pragma once
// What every part of the program shares below the windows, in one object that main (or a test,
// or a program without windows) creates: the drives, the clock and locale, the settings, the
// sound cards, and the notices through which the parts tell the operator what happened. There
// are no globals. It needs QtCore alone: a recorder without a display runs on it with a
// QCoreApplication.
//
// The parts made beside it (the sound library, the database) add start-up steps; startUp()
// makes the program's folders, reads the settings and runs them.
#include "core/Notices.h"
#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/DriveMap.h"
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace tamblor {

namespace audio {
class AudioBackend;
}

class Core : public QObject {
    Q_OBJECT
public:
    // An empty root means $TAMBLOR_ROOT or the per-user application data folder.
    explicit Core(const QString& root = QString());
    ~Core() override;

    SharedState& state() { return state_; }
    const SharedState& state() const { return state_; }
    DriveMap& drives() { return drives_; }
    Clock& clock() { return clock_; }
    // The sound cards, chosen once at start-up (TAMBLOR_AUDIO=virtual for the virtual one).
    audio::AudioBackend& audio() { return *audio_; }
    Notices& notices() { return notices_; }

    // A start-up step of a part made beside the core (the sound library opens its index): run
    // by startUp() after the settings are read, at once when start-up has run. A step that
    // throws fails the start.
    void addStartStep(std::function<void()> step);
    // Makes the program's folders, reads the settings and runs the start-up steps. Throws
    // Failure when a folder or the settings file cannot be made or read.
    void startUp();
    bool isStarted() const { return started_; }

    // A setting was changed (a click in the preferences): the studio applies it. Call after
    // changing state().
    void noteSettingsChanged() { emit settingsChanged(); }
    // The record level (16384 is unity, 0..32768): kept in state(), stored in record 11 (32768
    // as 32767, the most the record holds) and applied by the studio at once. Throws Failure
    // when the settings file cannot be written; the level applies all the same.
    void setRecordLevel(int level);

    // Ends the program: programEnding() (a take under way is finished and kept), then what the
    // program closes in between (its windows), then programEnded() (the index and the database
    // close). Once only.
    void endProgram();
    bool isEnding() const { return ending_; }

signals:
    void programEnding();
    void programEnded();
    // The settings in state() changed; the studio applies them to its sessions.
    void settingsChanged();
    void recordLevelChanged(int level);
    // Apply in the preferences stored new settings (and the preferences of Tamblor.ini).
    void settingsApplied();

protected:
    // Between programEnding() and programEnded(): the windowed program closes its windows.
    virtual void closeBeforeEnd() {}
    // Marks the program as ending without the signals (a failed start).
    void setEnding() { ending_ = true; }

private:
    DriveMap drives_;
    Clock clock_;
    SharedState state_;
    std::unique_ptr<audio::AudioBackend> audio_;
    Notices notices_;
    std::vector<std::function<void()>> startSteps_;
    bool started_ = false;
    bool ending_ = false;
};

} // namespace tamblor
