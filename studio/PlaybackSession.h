#pragma once
// Playback of one library file: owns the file player. Every event (play, pause, stop, the end
// of the file, a failing output device, a display tick, the window closing, the program
// ending) goes through handle(), the one place where the state changes.
#include "audio/devices/FilePlayer.h"
#include <QObject>
#include <QString>
#include <memory>

namespace tamblor {

class Core;
class RecordingSession;

class PlaybackSession : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Playing, Paused };
    enum class Event { Play, Pause, Stop, Ended, Tick, DeviceFailure, WindowClosing, ProgramEnding };
    static constexpr int AllStates = 3;
    static constexpr int AllEvents = 8;

    explicit PlaybackSession(Core& app, QObject* parent = nullptr);
    ~PlaybackSession() override;

    State state() const { return state_; }
    // A file plays or is paused.
    bool isPlaying() const { return state_ != State::Idle; }
    // The take whose state the failure text of a refused file depends on.
    void setRecording(const RecordingSession* recording) { recording_ = recording; }
    static const char* name(State s);
    static const char* name(Event e);

    // The file Play starts (a native path); a paused file resumes whatever is named here.
    void setFile(const QString& nativePath)
    {
        file_ = nativePath;
        startFrame_ = 0;
    }
    // The file Play starts and the frame it starts from (a logger's segment from a minute on).
    void setFile(const QString& nativePath, qint64 startFrame)
    {
        file_ = nativePath;
        startFrame_ = startFrame;
    }
    // The output device from the shared settings (PlayDevice); takes effect with the next file.
    void applySettings();

    void handle(Event e);

    // The text shown when the player refuses a file: the failure, or, for a file that is not
    // at 44100 while a recording is armed or running, the sample-rate advice.
    static QString failureText(int number, const QString& description, int fileRate, int16_t recordState);

    audio::FilePlayer& player() { return *player_; }

signals:
    // After every change of state; `previous` is the state before.
    void stateChanged(PlaybackSession::State state, PlaybackSession::State previous);
    // The file played to its end.
    void ended();

private:
    void setState(State s);
    void start();
    void halt();

    Core& app_;
    std::unique_ptr<audio::FilePlayer> player_;
    State state_ = State::Idle;
    QString file_;
    qint64 startFrame_ = 0;
    const RecordingSession* recording_ = nullptr;
};

} // namespace tamblor
