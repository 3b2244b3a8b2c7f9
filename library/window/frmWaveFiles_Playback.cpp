// Playback: play, pause and resume, the playing branch of the stop routine, the end of a
// file, seeking and the elapsed-time display.
#include "app/Application.h"
#include "app/TimeText.h"
#include "audio/devices/FilePlayer.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/Slider.h"
#include "library/SlotIndex.h"
#include "library/window/frmWaveFiles.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace tamblor {

QString frmWaveFiles::playFailureText(int number, const QString& description, int fileRate, int16_t recordState)
{
    if (fileRate > 0 && fileRate != 44100 && recordState != 0)
        return "File is recorded at a sample rate of " + (" " + QString::number(fileRate)) +
               ".  You must convert this file to a sample rate of 44100 before you can play it while recording.";
    return QString::number(number) + "  " + description;
}

void frmWaveFiles::cmdPlay_Click() { PlayWaveFile(); }
void frmWaveFiles::cmdStop_Click() { StopWaveFile(); }
void frmWaveFiles::cmdStop_KeyPress() { StopWaveFile(); }

void frmWaveFiles::PlayWaveFile()
{
    auto& st = app().state();
    const int32_t slot = fields().SelectedSlot;
    if (slot == 0)
        return;
    // These stay in force even when the file is refused below.
    showDeleteMenus(false);
    cmdStop->setFocus();
    TrackBar->setVisible(true);

    st.SoundPath = index().slotFilePath(slot);
    if (!index().read(slot) || !st.IndexRecord.isUsed()) {
        app().showMessage("Not an active sound file.");
        return;
    }
    // Probe the file; opening it leaves a missing file behind as an empty one.
    const QString native = app().drives().toNative(st.SoundPath);
    {
        QFile probe(native);
        if (!probe.open(QIODevice::ReadWrite))
            throw Failure(Failure::PathFileAccessError);
        if (probe.size() == 0) {
            app().showMessage("Sound File Does Not Exist.  Delete Entry.");
            return;
        }
    }

    if (!Paused) {
        try {
            WavePlayer_->setFileName(native);
            const audio::WaveInfo wave = WavePlayer_->wave();
            // The bar runs on the player's own scale (milliseconds), so its thumb follows the
            // position from start to end.
            TrackBar->setMaxValue(int(std::min<qint64>(WavePlayer_->framesToTime(wave.frames), INT32_MAX)));
            WavePlayer_->play();
        } catch (const Failure& f) {
            int rate = 0;
            try {
                rate = WavePlayer_->wave().format.sampleRate;
            } catch (const Failure&) {
                rate = 0; // not even the header could be read: report the failure itself
            }
            app().showMessage(playFailureText(f.number(), f.description(), rate, st.RecordState));
            return;
        }
    } else {
        WavePlayer_->resume();
        Paused = false;
        setBackColor(cmdPause, PauseIdle);
    }
    setBackColor(cmdPlay, PlayActive);
    st.Playing = 1;
}

void frmWaveFiles::cmdPause_Click()
{
    if (app().state().Playing != 1)
        return;
    Paused = true;
    WavePlayer_->pause();
    setBackColor(cmdPause, PauseActive);
    setBackColor(cmdPlay, PlayIdle);
}

void frmWaveFiles::StopWaveFile()
{
    auto& st = app().state();
    if (st.Playing != 1) {
        stopRecordingBranch();
        return;
    }
    WavePlayer_->stop();
    Paused = false;
    setBackColor(cmdPause, PauseIdle);
    setBackColor(cmdPlay, PlayIdle);
    st.Playing = 0;
    TrackBar->setPosition(0);
    showDeleteMenus(true);
    // The time label keeps its last text.
}

void frmWaveFiles::WavePlayer_PlaybackEnded()
{
    auto& st = app().state();
    setBackColor(cmdPlay, PlayIdle);
    lblTime->clear();
    st.Playing = 0;
    showDeleteMenus(true);
    TrackBar->setPosition(0);
    if (st.RecordState == 0)
        feedMeters(0, 0);
}

void frmWaveFiles::TrackBar_MovedByUser() { WavePlayer_->setPosition(TrackBar->position()); }

void frmWaveFiles::playingTick()
{
    auto& st = app().state();
    if (st.Playing == 0)
        return;
    const qint64 position = WavePlayer_->position();
    TrackBar->setPosition(int(std::min<qint64>(position, INT32_MAX)));
    if (!Paused) {
        st.Seconds = toInt32(double(position) / 1000.0); // halves to even
        SecondsToTimeText(st);
        lblTime->setText(st.TimeText);
    }
    // While a recording is armed or running the meters follow the input instead.
    if (st.RecordState == 0) {
        const audio::PeakLevels levels = WavePlayer_->levels();
        feedMeters(levels.left, levels.right);
    }
}

} // namespace tamblor
