#pragma once
// What the program keeps for its whole run beside the windows: the sound library, the take
// (recording session with its input device), the playback (with its output device), and the
// program's database with the record events and their runs. Made once, in main, in a program
// without windows or by a test, and handed to the windows; a take under way belongs to no window.
//
// One clock: the studio's 50 ms timer ticks the sessions (elapsed time, automatic stop, device
// loss, end of play), the scheduler, the programme watch with its silence alarm, and the guard
// that keeps the machine awake while a take is under way or an event is due. Windows
// only follow the signals.
//
// The studio applies the settings: at start and whenever they change (a click in the
// preferences, the record level), the devices, format, channels, start mode, threshold, stop
// delay and record level reach the sessions. A take or a playback under way keeps the devices
// and format it started with; they are applied when it ends. The record level applies at once.
#include "core/DeviceChoice.h"
#include "library/SoundLibrary.h"
#include "studio/PlaybackSession.h"
#include "studio/ProgrammeWatch.h"
#include "studio/RecordingSession.h"
#include "studio/RemoteControl.h"
#include "studio/Scheduler.h"
#include "studio/SleepGuard.h"
#include "studio/TakeMeasurer.h"
#include "platform/ProgramStarter.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "store/LineEventStore.h"
#include "store/ProgramDatabase.h"
#include "store/TakeFiguresStore.h"
#include <QTimer>
#include <memory>

namespace tamblor {

class Core;

class Studio {
public:
    static constexpr int TickMs = 50;

    explicit Studio(Core& app);
    ~Studio();
    Studio(const Studio&) = delete;
    Studio& operator=(const Studio&) = delete;

    SoundLibrary& library() { return library_; }
    RecordingSession& recording() { return recording_; }
    PlaybackSession& playback() { return playback_; }
    // The live loudness and the silence alarm of what the sessions record and play.
    ProgrammeWatch& watch() { return watch_; }
    // The program's database (opened as a start-up step; check isOpen()), the record events
    // and their runs kept in it.
    store::ProgramDatabase& database() { return database_; }
    schedule::EventStore& events() { return events_; }
    schedule::RunStore& runs() { return runs_; }
    // The measured figures of the take in each slot.
    store::TakeFiguresStore& figures() { return figures_; }
    // Measures the takes (when complete, and any slot asked for) into figures().
    TakeMeasurer& measurer() { return measurer_; }
    // Runs the record events on a timer of its own (see setTimerRunning).
    Scheduler& scheduler() { return *scheduler_; }
    // The remote lines (contacts wired to the recorder) and what they do; their edges are kept
    // in lineEvents().
    RemoteControl& remote() { return *remote_; }
    store::LineEventStore& lineEvents() { return lineEvents_; }
    // The sleep lock held while a take is under way or an event is due soon.
    SleepGuard& sleepGuard() { return *sleepGuard_; }

    // One tick of the clock: the sessions, the scheduler and the watch. A failure is told to
    // the operator, never dropped. The watch only hands its measuring to its worker here; a
    // caller that steps the studio by hand and reads the meter or the alarm at once waits for
    // it with watch().waitIdle().
    void tick();
    // The studio's clock (on by default), and the remote lines' reading; tests that step the
    // sessions by hand turn it off.
    void setTimerRunning(bool running);

    // Applies the settings to the sessions now (what waits for a take or a playback to end is
    // applied then). Runs at start and on every change of the settings.
    void applySettings();
    // The sound cards the settings choose, kept by number and by name.
    DeviceChoice& devices() { return devices_; }
    bool timerRunning() const { return timer_.isActive(); }

private:
    void applyPending();

    Core& app_;
    DeviceChoice devices_;
    bool recordingPending_ = false;
    bool playbackPending_ = false;
    SoundLibrary library_;
    RecordingSession recording_;
    PlaybackSession playback_;
    store::ProgramDatabase database_;
    schedule::EventStore events_;
    schedule::RunStore runs_;
    store::TakeFiguresStore figures_;
    ProcessStarter starter_;
    ProgrammeWatch watch_;
    TakeMeasurer measurer_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<SleepGuard> sleepGuard_;
    store::LineEventStore lineEvents_;
    std::unique_ptr<RemoteControl> remote_;
    QTimer timer_;
};

} // namespace tamblor
