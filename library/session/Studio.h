#pragma once
// What the program keeps for its whole run beside the windows: the sound library, the take
// (recording session with its input device), the playback (with its output device), and the
// program's database with the record events and their runs. Made
// once, in main or by a test, and handed to the windows; a take under way belongs to no window.
//
// The sessions' 50 ms ticks (elapsed time, automatic stop, device loss, end of play, the live
// loudness and the silence alarm) come from the studio's own timer, or from the one client that
// takes them over while it is open (the library window, whose display timer has ticked them
// all along).
#include "library/SoundLibrary.h"
#include "library/session/PlaybackSession.h"
#include "library/session/ProgrammeWatch.h"
#include "library/session/RecordingSession.h"
#include "library/session/Scheduler.h"
#include "library/session/TakeMeasurer.h"
#include "platform/ProgramStarter.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "store/ProgramDatabase.h"
#include "store/TakeFiguresStore.h"
#include <QPointer>
#include <QTimer>
#include <memory>

namespace tamblor {

class Application;

class Studio {
public:
    static constexpr int TickMs = 50;

    explicit Studio(Application& app);
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

    // One tick of both sessions; a failure is reported to the operator, never dropped.
    void tick();
    // `client` ticks the sessions from now on (until it goes, or releases them).
    void takeTicks(QObject* client);
    void releaseTicks(QObject* client);
    // The studio's own timer and the scheduler's (on by default); tests that step the sessions
    // by hand turn them off.
    void setTimerRunning(bool running);
    bool timerRunning() const { return timer_.isActive(); }

private:
    Application& app_;
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
    QTimer timer_;
    QPointer<QObject> tickClient_;
};

} // namespace tamblor
