#include "studio/PlaybackSession.h"
#include "core/Core.h"
#include "studio/RecordingSession.h"
#include "platform/Failure.h"

namespace tamblor {

PlaybackSession::PlaybackSession(Core& app, QObject* parent)
    : QObject(parent), app_(app), player_(std::make_unique<audio::FilePlayer>(app.audio()))
{
    player_->setTimeFormat(audio::FilePlayer::TimeFormat::Milliseconds);
    connect(player_.get(), &audio::FilePlayer::playbackEnded, this, [this] { handle(Event::Ended); });
    connect(&app_, &Core::programEnding, this, [this] { handle(Event::ProgramEnding); });
}

PlaybackSession::~PlaybackSession()
{
    blockSignals(true);
    player_->stop();
}

const char* PlaybackSession::name(State s)
{
    switch (s) {
    case State::Idle: return "Idle";
    case State::Playing: return "Playing";
    case State::Paused: return "Paused";
    }
    return "?";
}

const char* PlaybackSession::name(Event e)
{
    switch (e) {
    case Event::Play: return "Play";
    case Event::Pause: return "Pause";
    case Event::Stop: return "Stop";
    case Event::Ended: return "Ended";
    case Event::Tick: return "Tick";
    case Event::DeviceFailure: return "DeviceFailure";
    case Event::WindowClosing: return "WindowClosing";
    case Event::ProgramEnding: return "ProgramEnding";
    }
    return "?";
}

QString PlaybackSession::failureText(int number, const QString& description, int fileRate, int16_t recordState)
{
    if (fileRate > 0 && fileRate != 44100 && recordState != 0)
        return "File is recorded at a sample rate of " + (" " + QString::number(fileRate)) +
               ".  You must convert this file to a sample rate of 44100 before you can play it while recording.";
    return QString::number(number) + "  " + description;
}

void PlaybackSession::applySettings() { player_->setDeviceId(app_.state().PlayDevice); }

void PlaybackSession::setState(State s)
{
    const State previous = state_;
    state_ = s;
    emit stateChanged(s, previous);
}

void PlaybackSession::handle(Event e)
{
    switch (state_) {
    case State::Idle:
    case State::Playing:
        switch (e) {
        case Event::Play:
            start(); // while playing: starts over with the file named now
            break;
        case Event::Pause:
            if (state_ == State::Playing) {
                player_->pause();
                setState(State::Paused);
            }
            break;
        case Event::Stop:
        case Event::WindowClosing:
        case Event::ProgramEnding:
            halt();
            break;
        case Event::Ended:
            // Also when it arrives after a stop: the transport is reset.
            halt();
            emit ended();
            break;
        case Event::Tick:
            if (state_ == State::Playing && player_->deviceFailed())
                handle(Event::DeviceFailure);
            break;
        case Event::DeviceFailure:
            if (state_ == State::Playing) {
                const QString device = player_->deviceLabel();
                halt();
                app_.notices().fail("playback", Failure(Failure::DeviceIOError),
                                    Failure(Failure::DeviceIOError).text() + " (playback device \"" + device + "\")",
                                    device);
            }
            break;
        }
        break;

    case State::Paused:
        switch (e) {
        case Event::Play:
            player_->resume();
            setState(State::Playing);
            break;
        case Event::Stop:
        case Event::WindowClosing:
        case Event::ProgramEnding:
            halt();
            break;
        case Event::DeviceFailure:
            halt();
            app_.notices().fail("playback", Failure(Failure::DeviceIOError));
            break;
        case Event::Pause:
        case Event::Ended:
        case Event::Tick:
            break;
        }
        break;
    }
}

void PlaybackSession::start()
{
    try {
        player_->setFileName(file_);
        player_->wave();
        if (startFrame_ > 0)
            player_->setPositionFrames(startFrame_);
        player_->play();
    } catch (const Failure& f) {
        int rate = 0;
        try {
            rate = player_->wave().format.sampleRate;
        } catch (const Failure&) {
            rate = 0; // not even the header could be read: report the failure itself
        }
        app_.notices().fail("playback", f,
                            failureText(f.number(), f.description(), rate,
                                        int16_t(recording_ ? recording_->recordState() : 0)),
                            player_->fileName());
        return;
    }
    setState(State::Playing);
}

void PlaybackSession::halt()
{
    player_->stop();
    if (state_ != State::Idle)
        setState(State::Idle);
}

} // namespace tamblor
