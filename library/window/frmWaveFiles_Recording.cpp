// Recording: arming into the first free slot, the start modes, the automatic start and stop
// by input level, the record level slider, the 50 ms timer, and the recording branch of the
// stop routine.
//
// RecordState: 0 idle, 1 armed (slot reserved, input open, nothing written), 2 writing,
// 3 and more after further presses (writing goes on; elapsed time and automatic stop are no
// longer updated, Stop still finishes normally).
#include "app/Application.h"
#include "app/SettingsFile.h"
#include "app/TimeText.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/files/FormatText.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/Slider.h"
#include "library/SlotIndex.h"
#include "library/window/frmWaveFiles.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tamblor {

namespace {

// Seconds from `from` to `to`, both seconds since midnight, across one midnight.
int32_t secondsBetween(int32_t from, int32_t to)
{
    int32_t s = to - from;
    if (s < 0)
        s += 86400;
    return s;
}

} // namespace

QString frmWaveFiles::timeRemainingText(int64_t freeBytes, int bytesPerSecond)
{
    const double seconds = roundHalfEven(double(std::max<int64_t>(freeBytes, 0)) / double(std::max(bytesPerSecond, 1)));
    return secondsToTimeText(int32_t(std::min(seconds, double(INT32_MAX))));
}

void frmWaveFiles::cmdRecord_Click()
{
    auto& st = app().state();
    st.RecordState = int16_t(st.RecordState + 1);
    if (st.RecordState > 2)
        return; // writing goes on
    if (st.Playing == 0)
        TrackBar->setVisible(false);
    mnuDelete->setVisible(false);

    if (st.RecordState == 1) {
        if (!index().chooseFreeSlot()) {
            app().showMessage(SlotIndex::LimitMessage);
            st.RecordState = 0;
            showDeleteMenus(true);
            return;
        }
        txtNumber->setText(QString::number(st.CurrentSlot));
        try {
            index().reserveCurrentSlot(); // also removes any old file of the slot
            st.SoundPath = index().slotFilePath(st.CurrentSlot);
            WaveFile_->setFileName(app().drives().toNative(st.SoundPath));
            armSequence_ = WaveIn_->lastSequence();
            WaveIn_->start();
        } catch (const Failure& f) {
            // Nothing is left half armed: the device is closed and the slot is free again.
            WaveIn_->release();
            try {
                index().release(st.CurrentSlot);
            } catch (const Failure&) {
                // The index refused the reservation already; the first failure is the one shown.
            }
            st.RecordState = 0;
            if (st.Playing == 0)
                TrackBar->setVisible(true);
            showDeleteMenus(true);
            app().showMessage(f.text());
            return;
        }
        cmdRecord->setText("Ready");
        setBackColor(cmdRecord, RecordReady);
        lblNumber->setText(QString::number(st.CurrentSlot));
        txtName->clear(); // their change handling stores nothing while recording
        txtLength->clear();
        txtRecordDate->clear();
        if (st.RecordStartMode != 0)
            return; // armed: waits for a second press or the automatic start
        st.RecordState = 2;
    }
    if (st.RecordState == 2)
        startWriting();
}

void frmWaveFiles::startWriting()
{
    auto& st = app().state();
    try {
        WaveFile_->setEnabled(true, triggerSequence_);
    } catch (const Failure& f) {
        // The file cannot be created: abandon the recording and free the slot.
        WaveIn_->release();
        index().release(st.CurrentSlot);
        st.RecordState = 0;
        cmdRecord->setText("Record");
        setBackColor(cmdRecord, RecordStopped);
        TrackBar->setVisible(true);
        showDeleteMenus(true);
        app().showMessage(f.text());
        return;
    }
    RecordStartTime = app().clock().secondsSinceMidnight();
    // Quiet is counted from the start at the earliest, also when the recording was started by
    // hand with "Auto Start" ticked.
    st.LastLevelTime = RecordStartTime;
    cmdRecord->setText("Recording ");
    setBackColor(cmdRecord, RecordWriting);
}

void frmWaveFiles::WaveIn_BufferFilled(qint64 sequence, int left, int right)
{
    auto& st = app().state();
    LevelLeft = left;
    LevelRight = right;
    feedMeters(left, right);
    // Buffers of an earlier capture may still be on their way; they never start a recording.
    if (st.RecordState == 1 && sequence > armSequence_ && Check1->isChecked() &&
        (left > st.VoxThreshold || right > st.VoxThreshold)) {
        st.LastLevelTime = app().clock().secondsSinceMidnight();
        triggerSequence_ = sequence; // writing starts with this very buffer
        trap([this] { cmdRecord_Click(); });
        triggerSequence_ = -1;
    }
}

void frmWaveFiles::WaveIn_CaptureEnded()
{
    // The end of an earlier capture can arrive after a new one has started: leave that open.
    if (!WaveIn_->isCapturing())
        WaveIn_->release();
}

void frmWaveFiles::WaveFile_WriteFailed(int number, const QString& description)
{
    app().showMessage(Failure(number, description).text());
    if (app().state().RecordState >= 2)
        trap([this] { stopRecordingBranch(); }); // keep what was written
}

void frmWaveFiles::feedMeters(int left, int right)
{
    Level1->setValue(left);
    Level2->setValue(right);
}

void frmWaveFiles::Timer1_Timer()
{
    auto& st = app().state();
    try {
        // Time left on the library drive at the rate being recorded.
        if (!st.DriveLetter.isEmpty()) {
            const int64_t free = app().drives().freeBytes(st.DriveLetter.at(0));
            if (free >= 0) {
                Label1->setText("Time remaining: " +
                                timeRemainingText(free, WaveIn_->format().avgBytesPerSecond));
            }
        }
        playingTick();
        recordingTick();
    } catch (const std::exception&) {
        LevelLeft = 0;
        LevelRight = 0;
    }
}

void frmWaveFiles::recordingTick()
{
    auto& st = app().state();
    if (st.RecordState != 2)
        return;
    const int32_t now = app().clock().secondsSinceMidnight();
    const bool automatic = Check1->isChecked();
    if (automatic && (LevelLeft > st.VoxThreshold || LevelRight > st.VoxThreshold))
        st.LastLevelTime = now;

    st.Seconds = secondsBetween(RecordStartTime, now);
    SecondsToTimeText(st);
    lblTime->setText(st.TimeText);

    // Both channels quiet: stop, after StopDelay seconds of quiet when a delay is set. The
    // automatic stop ends the recording only, never a playback running beside it.
    if (automatic && LevelLeft < st.VoxThreshold && LevelRight < st.VoxThreshold) {
        if (st.StopDelay <= 0 || secondsBetween(st.LastLevelTime, now) >= st.StopDelay)
            stopRecordingBranch();
    }
}

void frmWaveFiles::stopRecordingBranch()
{
    auto& st = app().state();
    // Whatever fails below, the window ends idle with its menus back.
    struct EndIdle {
        frmWaveFiles* w;
        ~EndIdle()
        {
            w->showDeleteMenus(true);
            w->app().state().RecordState = 0;
        }
    } endIdle{this};

    setBackColor(cmdRecord, RecordStopped);
    if (st.RecordState > 0) {
        WaveFile_->setEnabled(false);
        WaveIn_->stop();
        WaveIn_->release();
        LevelLeft = LevelRight = 0;
        feedMeters(0, 0);
    }
    if (st.RecordState >= 2) {
        TrackBar->setVisible(true);
        cmdRecord->setText("Record");
        const Clock& clock = app().clock();
        index().completeCurrentSlot(RecordStartTime, clock.secondsSinceMidnight(), clock.now().date());
        st.SlotText = QString::number(st.CurrentSlot).rightJustified(3, ' ');
        // Still not idle while the new entry is selected, so the detail boxes only show it.
        RebuildList(Reselect::CurrentSlot);
    } else if (st.RecordState == 1) {
        index().release(st.CurrentSlot); // abandon the armed recording
        cmdRecord->setText("Record");
    }
}

void frmWaveFiles::Slider_Change()
{
    const int position = Slider->position();
    WaveIn_->setGain(position);
    Label3->setText(audio::decibelText(position, 16384, 2));
    // The 16-bit record cannot hold 32768: the top of the slider is stored as 32767.
    SettingsFile settings(app().drives(), app().state());
    settings.open();
    settings.write(11, int16_t(std::min(position, 32767)));
    settings.close();
}

void frmWaveFiles::Label3_DblClick() { Slider->setPosition(16384); }

} // namespace tamblor
