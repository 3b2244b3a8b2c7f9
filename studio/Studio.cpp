#include "studio/Studio.h"
#include "core/Core.h"
#include "platform/Failure.h"

namespace tamblor {

Studio::Studio(Core& app)
    : app_(app), devices_(app), library_(app), recording_(app, library_), playback_(app), database_(app),
      events_(database_, app.clock()), runs_(database_, app.clock()), figures_(database_),
      watch_(app, recording_, playback_, starter_), measurer_(app, library_, recording_, database_, figures_),
      scheduler_(std::make_unique<Scheduler>(app, library_, recording_, database_, events_, runs_, figures_, devices_)),
      sleepGuard_(std::make_unique<SleepGuard>(app, recording_, *scheduler_)), lineEvents_(database_),
      remote_(std::make_unique<RemoteControl>(app, library_, recording_, playback_, watch_.alarm(), lineEvents_))
{
    playback_.setRecording(&recording_);
    // The record events' takes are read once, by the runner: the measurer leaves them to it.
    measurer_.setHeld([this](int slot) { return scheduler_ && scheduler_->holds(slot); });
    // The settings are read at start: the cards found again by name, then applied, before any
    // window opens or any event is due.
    app_.addStartStep([this] {
        try {
            devices_.resolve();
        } catch (const Failure& f) {
            app_.notices().fail("devices", f, ProgramSettings::DosPath);
        }
        applySettings();
    });
    QObject::connect(&app_, &Core::settingsChanged, &recording_, [this] { applySettings(); });
    QObject::connect(&app_, &Core::recordLevelChanged, &recording_, [this](int level) { recording_.input().setGain(level); });
    QObject::connect(&app_, &Core::settingsApplied, &recording_, [this] {
        try {
            devices_.remember();
        } catch (const Failure& f) {
            app_.notices().fail("devices", f, ProgramSettings::DosPath);
        }
        applySettings();
    });
    QObject::connect(&recording_, &RecordingSession::stateChanged, &recording_,
                     [this](RecordingSession::State s, RecordingSession::State) {
                         if (s == RecordingSession::State::Idle)
                             applyPending();
                         sleepGuard_->lookSoon();
                     });
    QObject::connect(scheduler_.get(), &Scheduler::changed, &recording_, [this] { sleepGuard_->lookSoon(); });
    QObject::connect(&playback_, &PlaybackSession::stateChanged, &recording_, [this] { applyPending(); });

    timer_.setInterval(TickMs);
    QObject::connect(&timer_, &QTimer::timeout, &recording_, [this] { tick(); });
    timer_.start();
}

Studio::~Studio()
{
    timer_.stop();
    remote_.reset();    // before the sessions it moves
    sleepGuard_.reset();
    scheduler_.reset(); // before the sessions it uses
}

void Studio::applySettings()
{
    // The level follows the slider at once, even during a take.
    recording_.input().setGain(std::clamp(app_.state().RecordLevel, 0, 32768));
    recordingPending_ = true;
    playbackPending_ = true;
    applyPending();
    remote_->applySettings();
}

void Studio::applyPending()
{
    if (recordingPending_ && recording_.state() == RecordingSession::State::Idle) {
        recordingPending_ = false;
        recording_.applySettings();
    }
    if (playbackPending_ && !playback_.isPlaying()) {
        playbackPending_ = false;
        playback_.applySettings();
    }
}

void Studio::tick()
{
    try {
        playback_.handle(PlaybackSession::Event::Tick);
    } catch (const Failure& f) {
        app_.notices().fail("playback", f);
    }
    try {
        recording_.handle(RecordingSession::Event::Tick);
    } catch (const Failure& f) {
        app_.notices().fail("recording", f);
    }
    try {
        scheduler_->tick();
    } catch (const Failure& f) {
        app_.notices().fail("scheduler", f);
    }
    sleepGuard_->update();
    watch_.tick();
}

void Studio::setTimerRunning(bool running)
{
    if (running)
        timer_.start();
    else
        timer_.stop();
    remote_->setTimerRunning(running);
}

} // namespace tamblor
