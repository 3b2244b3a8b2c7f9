// Playback, as the view of the PlaybackSession: play (with the checks of the selected entry),
// pause and resume, the playing branch of the stop routine, the end of a file, seeking and the
// elapsed-time display.
#include "app/Application.h"
#include "core/TimeText.h"
#include "audio/devices/FilePlayer.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/Slider.h"
#include "wavefiles/frmWaveFiles.h"
#include "app/ButtonColour.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace tamblor {

QString frmWaveFiles::playFailureText(int number, const QString& description, int fileRate, int16_t recordState)
{
    return PlaybackSession::failureText(number, description, fileRate, recordState);
}

void frmWaveFiles::cmdPlay_Click() { PlayWaveFile(); }
void frmWaveFiles::cmdStop_Click() { StopWaveFile(); }
void frmWaveFiles::cmdStop_KeyPress() { StopWaveFile(); }

void frmWaveFiles::PlayWaveFile()
{
    const int32_t slot = fields().SelectedSlot;
    if (slot == 0)
        return;
    // These stay in force even when the file is refused below.
    showDeleteMenus(false);
    cmdStop->setFocus();
    TrackBar->setVisible(true);

    const auto record = library().read(slot);
    if (!record || !record->isUsed()) {
        app().showMessage("Not an active sound file.");
        return;
    }
    // Probe the file; opening it leaves a missing file behind as an empty one.
    const QString native = library().slotFileNative(slot);
    {
        QFile probe(native);
        if (!probe.open(QIODevice::ReadWrite))
            throw Failure(Failure::PathFileAccessError);
        if (probe.size() == 0) {
            app().showMessage("Sound File Does Not Exist.  Delete Entry.");
            return;
        }
    }
    // A paused file resumes; otherwise the named one starts.
    playback().setFile(native);
    playback().handle(PlaybackSession::Event::Play);
}

void frmWaveFiles::cmdPause_Click() { playback().handle(PlaybackSession::Event::Pause); }

void frmWaveFiles::StopWaveFile()
{
    if (!playback().isPlaying()) {
        recording().handle(RecordingSession::Event::Stop);
        return;
    }
    playback().handle(PlaybackSession::Event::Stop);
    // The time label keeps its last text.
}

void frmWaveFiles::WavePlayer_PlaybackEnded()
{
    lblTime->clear();
    TrackBar->setPosition(0);
    if (recording().recordState() == 0)
        feedMeters(0, 0);
}

void frmWaveFiles::showPlaybackState(PlaybackSession::State state, PlaybackSession::State previous)
{
    using S = PlaybackSession::State;
    switch (state) {
    case S::Playing:
        if (previous == S::Paused) {
            setButtonColour(cmdPause, PauseIdle);
        } else {
            // The bar runs on the player's own scale (milliseconds), so its thumb follows the
            // position from start to end.
            const audio::WaveInfo wave = WavePlayer().wave();
            TrackBar->setMaxValue(int(std::min<qint64>(WavePlayer().framesToTime(wave.frames), INT32_MAX)));
        }
        Paused = false;
        setButtonColour(cmdPlay, PlayActive);
        break;
    case S::Paused:
        Paused = true;
        setButtonColour(cmdPause, PauseActive);
        setButtonColour(cmdPlay, PlayIdle);
        break;
    case S::Idle:
        Paused = false;
        setButtonColour(cmdPause, PauseIdle);
        setButtonColour(cmdPlay, PlayIdle);
        TrackBar->setPosition(0);
        showDeleteMenus(true);
        showCaption();
        break;
    }
}

void frmWaveFiles::TrackBar_MovedByUser() { WavePlayer().setPosition(TrackBar->position()); }

void frmWaveFiles::playingTick()
{
    if (!playback().isPlaying())
        return;
    const qint64 position = WavePlayer().position();
    TrackBar->setPosition(int(std::min<qint64>(position, INT32_MAX)));
    if (!Paused)
        lblTime->setText(secondsToTimeText(toInt32(double(position) / 1000.0))); // halves to even
    // While a recording is armed or running the meters follow the input instead.
    if (recording().recordState() == 0) {
        const audio::PeakLevels levels = WavePlayer().levels();
        feedMeters(levels.left, levels.right);
    }
}

} // namespace tamblor
