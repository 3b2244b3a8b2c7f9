#pragma once
// What the remote lines do in the studio. The preferences' remote-control choice (record 9:
// 0 Off, 1 the parallel port, 2 the Prairie Digital card, 3 a serial port) opens the port of
// Tamblor.ini's map, and the start mode says what the start and stop inputs do:
//
// - Momentary: a closure of the start input starts the take (from Ready; from idle it arms as
//   a press would and starts at once); a closure of the stop input stops it, after the stop
//   delay when one is set (a closure of the start input meanwhile keeps the take going).
// - Continuous: the start input closed records; open pauses the same take (nothing written, no
//   new slot), closed again goes on. The operator's Stop ends the take.
// - The play input (fader start) in every mode: a closure plays the selected slot from its
//   start, an open stops the player.
//
// The outputs: the tally while a take is written, a 500 ms end-of-message pulse when a played
// file ends, the silence alarm while it is raised. A take of a record event is never started,
// paused or stopped by a line. Every edge goes to the database with what was done about it. A
// port that cannot be used is raised as a lasting notice naming the port and the cause, and
// cleared when it works again; a take under way is kept whatever the port does.
//
// The Prairie Digital card is not supported: nothing documents its protocol. Choosing it
// raises a notice that says so and points to the serial choice.
#include "remote/LineWatch.h"
#include "studio/RecordingSession.h"
#include <QObject>
#include <QTimer>

namespace tamblor {

class Core;
class PlaybackSession;
class SilenceAlarm;
class SoundLibrary;
namespace store {
class LineEventStore;
}

class RemoteControl : public QObject {
    Q_OBJECT
public:
    // Record 9 of MyComp.ini.
    enum class Choice { Off = 0, Parallel = 1, PrairieDigital = 2, Serial = 3 };
    static Choice choiceOf(int settingsValue);
    static constexpr int PollMs = 10;
    static constexpr const char* NoticeKey = "remote-lines";
    static constexpr const char* PrairieNoticeKey = "remote-prairie";

    RemoteControl(Core& app, SoundLibrary& library, RecordingSession& recording, PlaybackSession& playback,
                  SilenceAlarm& alarm, store::LineEventStore& log, QObject* parent = nullptr);
    ~RemoteControl() override;

    // Opens, changes or closes the port as the settings say (the choice, and Tamblor.ini's map).
    void applySettings();
    // How a port is made for a map (tests: virtual lines); the real ports by default.
    void setOpener(remote::LineWatch::Opener opener) { opener_ = std::move(opener); }
    // The lines are read every PollMs while running (the studio's clock); tests poll by hand.
    void setTimerRunning(bool running);
    void poll();

    // The slot the play input plays (the library window's selection); 0 for none.
    void setSelectedSlot(int slot) { selectedSlot_ = slot; }
    int selectedSlot() const { return selectedSlot_; }

    Choice choice() const { return choice_; }
    remote::LineWatch& lines() { return lines_; }
    const remote::LineWatch& lines() const { return lines_; }
    // One line for the windows: the port, its state, and each wired input closed or open.
    QString stateText() const;

signals:
    // An input changed, the port opened or failed: the windows showing the lines follow.
    void linesChanged();
    // An edge and what was done about it.
    void acted(const remote::LineEvent& event, const QString& action);

private:
    void onEvent(const remote::LineEvent& event);
    QString act(const remote::LineEvent& event);
    QString startTake();
    QString record(bool closed);
    QString stop();
    QString play(bool closed);
    void updateTally();
    void updateProblem();
    void log(const remote::LineEvent& event, const QString& action);

    Core& app_;
    SoundLibrary& library_;
    RecordingSession& recording_;
    PlaybackSession& playback_;
    store::LineEventStore& log_;
    remote::LineWatch::Opener opener_;
    remote::LineWatch lines_;
    Choice choice_ = Choice::Off;
    QTimer timer_;
    bool timerWanted_ = true;
    int selectedSlot_ = 0;
    int64_t stopDueUs_ = -1; // a stop waiting for the stop delay
};

} // namespace tamblor
