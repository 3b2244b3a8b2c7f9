#pragma once
// One take, from arming to the completed index entry: owns the input device, the wave file
// writer and the slot reservation. Every event that can move a take (a press, a loud input
// buffer, a display tick, stop, a failing device or file, the window closing, the program
// ending) goes through handle(), the one place where the state changes. recordState() counts
// as the operator sees it: 0 idle, 1 armed, 2 writing, 3 and more after further presses.
//
// The start mode is applied here only: Off starts writing at the press that arms, the others
// arm and wait (for a loud buffer with "Auto Start", or a second press).
//
// The library window is one view: it forwards its handlers and turns stateChanged() into
// captions and colours.
#include "audio/devices/DeliveryClock.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "platform/Failure.h"
#include <QDate>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tamblor {

class Core;
class SoundLibrary;
struct SharedState;

class RecordingSession : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,      // nothing reserved, input closed
        Armed,     // slot reserved, input open, nothing written
        Writing,   // the take is being written; elapsed time and automatic stop run
        WritingOn, // after a further press: writing goes on, the elapsed time stands still
    };
    enum class Event {
        Press,          // the Record button
        LoudBuffer,     // an input buffer above the threshold with "Auto Start" ticked
        Tick,           // the 50 ms display timer
        Stop,           // the stop routine
        DeviceFailure,  // the input device is lost (InputDevice::lost)
        WriteFailure,   // the file could not be written (disk full)
        LimitReached,   // the file reached the size limit of a wave file
        WindowClosing,  // the library window is closed
        ProgramEnding,  // the main menu closed, SIGTERM or logout
    };
    // The recording start mode of the settings (record 6).
    enum class StartMode { Off, Vox, Momentary, Continuous };
    static StartMode startModeOf(int settingsValue);

    // How the last take ended (for a client that reports it).
    enum class Ending {
        None,          // none has ended since the last arming
        Stopped,       // stopped by a client or the window closing
        LengthReached, // it holds the frames it was started for
        DeviceLost,    // the input failed
        WriteFailed,   // the file could not be written (a full disk)
        SizeLimit,     // the file reached the size limit of a wave file
        ProgramEnded,  // the program ended
        Abandoned,     // armed and given up before anything was written
    };

    static constexpr int AllStates = 4;
    static constexpr int AllEvents = 9;

    // A Tick stands for this much time (the display timer's interval).
    static constexpr int TickMs = 50;
    // Stop ends a take with the frame due at the press. An input that has not delivered it yet
    // (its sound still in the sound server or the ring) is waited for this long at most, the
    // take still writing; the window goes on meanwhile. The program's end never waits.
    static constexpr int StopWaitMs = 2000;
    // An input this much (beyond one of its buffers) short of the frame due at the press is
    // not behind: Stop ends the take at once with what it delivered.
    static constexpr int StopLateMs = 100;

    RecordingSession(Core& app, SoundLibrary& library, QObject* parent = nullptr);
    // A take still under way ends as at the end of the program: kept, never lost.
    ~RecordingSession() override;

    State state() const { return state_; }
    static const char* name(State s);
    static const char* name(Event e);

    // The recording device, rate, channels and file encoding from the shared settings
    // (RecordDevice, FormatIndex, ChannelMode; formats 4 and 5 are Microsoft ADPCM at 22050
    // and 44100); "Auto Start" follows the VOX start mode. Only while idle: a take keeps the
    // settings it started with.
    void applySettings();

    // The input of the next take in the settings' terms (RecordDevice, FormatIndex 0..5,
    // ChannelMode 0/1), as applySettings() sets it from the settings. Only while idle.
    void applyInput(int device, int formatIndex, int channelMode);

    // A take on a clock: arms (a slot reserved, the input open) and waits, loud buffers and
    // quiet ticks moving nothing, until startWritingFrom() starts writing from one sample of
    // the input, for a number of frames (then it ends as LengthReached) or until stopped.
    // False when a take is under way or arming was refused (the reason was shown).
    // `holder` says who holds the input, for a press refused meanwhile ("the record event
    // "NEWS" holds the input until 17:05:00"). With a `fixedSlot` the take reserves no slot: it
    // is written to that slot's working file beside the library (WorkingTakes), which must not
    // be there yet, and the index is left alone; slot() is then the fixed slot and whoever
    // armed it decides what becomes of the file.
    bool armForClock(const QString& holder = {}, int32_t fixedSlot = 0);
    bool startWritingFrom(quint64 firstSample, qint64 frames);
    bool clocked() const { return clocked_; }
    // A take on a clock that ends with its length reached leaves the input running (idle, no
    // slot held) so that the next take on the same input can begin with the very next frame.
    // Set while writing; every arming clears it.
    void setKeepInputAfterLength(bool keep) { keepInput_ = keep; }
    // The input kept running after a take is closed (only while idle).
    void releaseKeptInput();
    // Ends a take on a clock now, with every frame the input has delivered written: LengthReached
    // when those hold the frames it was started for, else Stopped.
    void endClockedTake();
    // Whether the take that last ended was one on a clock (kept past its end, for those who
    // follow the end of a take).
    bool endedOnClock() const { return endedOnClock_; }
    // Why the last arming was refused (empty when it was not).
    const QString& refusal() const { return refusal_; }
    Ending lastEnding() const { return lastEnding_; }

    // A check of an input before a take: opens the input in the settings' terms (device, format
    // 0..5, channel mode 0/1) while no take holds it; its buffers move the levels and the
    // programme watch, and nothing is written. False while a take is armed or written, or the
    // input is kept running for the record event that follows (refusal() says why), or when the
    // input cannot be opened. A take armed meanwhile ends the check first: the take comes first.
    // The input's settings from before the check are its settings again when the check ends.
    bool openForCheck(int device, int formatIndex, int channelMode);
    void endCheck();
    bool checking() const { return checking_; }
    // Whether the last check was ended by a take that needed the input.
    bool checkYielded() const { return checkYielded_; }
    // Starts writing now, from the first sample the input has not delivered yet (a remote line
    // closed): only while armed, and never a take on a clock. False when it could not start.
    bool startWritingNow();
    // A take being written pauses: from the first sample not delivered yet nothing is written,
    // the slot and the file stay the take's; resumeWriting() goes on in the same file. Never
    // for a take on a clock. A take that was paused stores the length of its file.
    void pauseWriting();
    void resumeWriting();
    bool paused() const { return paused_; }
    // Stop was pressed and the take waits for the input to deliver the frame due at the press
    // (at most StopWaitMs); it is still writing, and ends on a later tick or buffer.
    bool stopping() const { return stopping_; }
    // Written now: writing, and not paused.
    bool writingNow() const { return (state_ == State::Writing || state_ == State::WritingOn) && !paused_; }

    // The start mode of the take under way; each take takes the settings' mode (RecordStartMode)
    // when it is armed, unless a client chose one for its takes.
    StartMode startMode() const { return startMode_; }
    void setStartMode(std::optional<StartMode> mode) { modeChosen_ = mode; }
    // "Auto Start": loud buffers start a take, quiet ticks end it.
    void setAutomatic(bool automatic);
    bool automatic() const { return automatic_; }

    // 0 idle, 1 armed, 2 writing, 3 and more after further presses.
    int recordState() const { return recordState_; }
    // The slot reserved for the take under way, or that of the last take (0 before any); for a
    // take into a working file, its fixed slot.
    int32_t slot() const { return slot_; }
    // Whether the take under way (or the last one) was written to its fixed slot's working file.
    bool intoWorkingFile() const { return working_; }
    // The file of the take under way (or the last one), as the operator knows it.
    QString takeFilePath() const;
    // The elapsed time of the take under way as shown ("00:00" before the first tick).
    QString elapsedText() const { return elapsedText_; }
    // A name the operator gives the take by hand under way: it is stored (upper-cased) when the
    // take is completed, instead of the slot's default name. Empty gives the default name; a
    // take on a clock is named by its event and ignores it.
    void nameTake(const QString& name);

    // Event inputs.
    void handle(Event e);
    // One input buffer's peaks; a loud one while armed with "Auto Start" starts writing with it.
    void buffer(qint64 sequence, int left, int right);

    audio::InputDevice& input() { return *input_; }
    audio::RecordingWriter& writer() { return *writer_; }
    int levelLeft() const { return levelLeft_; }
    int levelRight() const { return levelRight_; }
    int32_t startTime() const { return startTime_; }
    // The byte rate the file grows by while recording (for the time remaining).
    int fileBytesPerSecond() const { return writer_->fileFormat().avgBytesPerSecond; }

signals:
    // After every change of state, and after Stop; `previous` is the state before.
    void stateChanged(RecordingSession::State state, RecordingSession::State previous);
    // Armed: the slot that was reserved (the fixed slot of a take into its working file).
    void slotReserved(int slot);
    // Writing: the elapsed time as a time text.
    void elapsedChanged(const QString& text);
    // "Auto Start" was set (by the settings or a client).
    void automaticChanged(bool automatic);
    // An input buffer's peaks (the meters follow them).
    void levelsChanged(int left, int right);
    // A check of the input began (true) or ended (false).
    void checkChanged(bool checking);
    // The take under way paused or went on (pauseWriting, resumeWriting).
    void pausedChanged(bool paused);
    // A take was completed in the index; sent while the state is still not idle, so the
    // view can rebuild its list with the new entry selected.
    void takeCompleted(int slot);

private:
    SharedState& st();
    // Runs a step of a device event; a failure reaches the operator as a message.
    void reportFailure(const std::function<void()>& step);
    void setState(State s);
    // Reserves a free slot for the take, or with a `fixedSlot` readies that slot's working file.
    bool arm(int32_t fixedSlot = 0);
    bool startWriting(qint64 fromSequence);
    // Enables the writer (which may throw), then counts the take as written from now.
    bool beginWriting(const std::function<void()>& enableWriter);
    void tickWriting();
    bool inputLost();
    // Notes how far the input has delivered by now (each tick while it captures).
    void lookAtInput();
    // Stop while writing: true when the input is behind the frame due at the press, and the take
    // goes on until that frame is in (the file ends there); false when it can end at once.
    bool stopAtPress();
    // A stopping take ends once the input delivered the frame due at the press, or the wait ran
    // out (it then ends with what was delivered, and the operator is told how much is missing).
    void continueStopping();
    // Ends the take: the rest of the input written, the file closed, the slot completed with the
    // length of the audio in the file. `ended` (the take failed or reached its end by itself):
    // one with no frame at all is abandoned instead.
    void finish(bool ended);
    void abandon();
    // Removes the file of a take that holds nothing; a failure leaves it for the next take of
    // its slot, which removes any old file first.
    void removeEmptyTake();
    void closeInput();
    QString failureText(const Failure& f) const;
    // Arming was refused: the operator is told, and refusal() says why.
    void refuse(int number, const QString& text);
    // A press while a take on a clock holds the input: refused, and the operator told why.
    void refusePress();

    Core& app_;
    SoundLibrary& library_;
    std::unique_ptr<audio::InputDevice> input_;
    std::unique_ptr<audio::RecordingWriter> writer_;
    State state_ = State::Idle;
    int recordState_ = 0;
    StartMode startMode_ = StartMode::Off;
    std::optional<StartMode> modeChosen_;
    bool automatic_ = false;
    int32_t slot_ = 0;
    bool working_ = false;
    QString elapsedText_;
    int32_t lastLevelTime_ = 0;
    int levelLeft_ = 0;
    int levelRight_ = 0;
    int32_t startTime_ = 0;
    qint64 armSequence_ = 0;     // the last input buffer before the current arming
    qint64 triggerSequence_ = -1; // the buffer that started an automatic recording
    bool clocked_ = false;
    bool checking_ = false;
    bool checkYielded_ = false;
    // A take needs the input: the check under way ends.
    void yieldCheck();
    // The input's device, format and channel mode before the check (what applyInput() sets
    // meanwhile lands here).
    struct InputSettings {
        int device = 0;
        int rate = 44100;
        int mode = 1;
    };
    InputSettings beforeCheck_;
    bool endedOnClock_ = false;
    bool lengthReached_ = false;
    bool keepInput_ = false;
    bool paused_ = false;
    // The input's frames against the steady clock, from its first delivery after arming.
    audio::DeliveryClock pace_;
    quint64 paceStartSample_ = 0; // the input's sample count when the clock was restarted
    int paceChannels_ = 2;
    bool stopping_ = false;
    quint64 stopBeforeSample_ = 0; // the first sample after the frame due at the press
    qint64 stopDeadlineMs_ = 0;    // steady clock
    qint64 clockedFrames_ = 0;
    Ending lastEnding_ = Ending::None;
    QString refusal_;
    QString holder_;
    QDate startDate_;
    QString takeName_; // given while the take by hand is under way
};

} // namespace tamblor
