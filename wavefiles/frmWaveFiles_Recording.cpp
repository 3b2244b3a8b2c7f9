// Recording, as the view of the RecordingSession: the Record button, the level slider, the
// 50 ms timer, the recording branch of the stop routine, and the captions and colours of each
// state. The session decides; the window shows.
#include "app/Application.h"
#include "core/SettingsFile.h"
#include "core/TimeText.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/files/FormatText.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/Slider.h"
#include "wavefiles/frmWaveFiles.h"
#include "wavefiles/SortedListBox.h"
#include "app/ButtonColour.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tamblor {

QString frmWaveFiles::timeRemainingText(int64_t freeBytes, int bytesPerSecond)
{
    const double seconds = roundHalfEven(double(std::max<int64_t>(freeBytes, 0)) / double(std::max(bytesPerSecond, 1)));
    return secondsToTimeText(int32_t(std::min(seconds, double(INT32_MAX))));
}

void frmWaveFiles::cmdRecord_Click()
{
    if (recording().state() == RecordingSession::State::Idle)
        startedTake_ = true; // closing the window ends this take
    recording().handle(RecordingSession::Event::Press);
}

void frmWaveFiles::WaveIn_BufferFilled(qint64 sequence, int left, int right)
{
    // The session takes the buffer; the meters follow its levels.
    trap([&] { recording().buffer(sequence, left, right); });
}

void frmWaveFiles::WaveIn_CaptureEnded()
{
    // The end of an earlier capture can arrive after a new one has started: leave that open.
    if (!WaveIn().isCapturing())
        WaveIn().release();
}

void frmWaveFiles::feedMeters(int left, int right)
{
    Level1->setValue(left);
    Level2->setValue(right);
}

void frmWaveFiles::Timer1_Timer()
{
    const auto& st = app().state();
    try {
        // Time left on the library drive at the byte rate of the file being recorded.
        if (!st.DriveLetter.isEmpty()) {
            const int64_t free = app().drives().freeBytes(st.DriveLetter.at(0));
            if (free >= 0)
                Label1->setText("Time remaining: " + timeRemainingText(free, recording().fileBytesPerSecond()));
        }
        playingTick();
    } catch (const Failure& f) {
        // A tick's failure (a take that ended on its own and could not be closed, a free-space
        // query that failed) is the operator's to know.
        LevelLeft = 0;
        LevelRight = 0;
        app().showMessage(f.text());
    } catch (const std::exception& e) {
        LevelLeft = 0;
        LevelRight = 0;
        app().showMessage(QString::fromLocal8Bit(e.what()));
    }
    // Once a second: the selected file may have changed since its figures were taken (a
    // normalize, a cut).
    if (++figuresCheck_ >= 1000 / Studio::TickMs) {
        figuresCheck_ = 0;
        const int slot = fields().SelectedSlot;
        if (slot > 0 && lstSoundFile->selectedRow() >= 0 && recording().state() == RecordingSession::State::Idle) {
            studio_.measurer().request(slot);
            showFigures(slot);
        }
    }
}

void frmWaveFiles::showRecordingState(RecordingSession::State state, RecordingSession::State previous)
{
    using S = RecordingSession::State;
    switch (state) {
    case S::Armed:
        if (!playback().isPlaying())
            TrackBar->setVisible(false);
        mnuDelete->setVisible(false);
        txtNumber->setText(QString::number(recording().slot()));
        cmdRecord->setText("Ready");
        setButtonColour(cmdRecord, RecordReady);
        lblTime->setText(secondsToTimeText(0)); // a new take, not the last one's time
        lblNumber->setText(QString::number(recording().slot()));
        txtName->clear(); // their change handling stores nothing while recording
        txtLength->clear();
        txtRecordDate->clear();
        lblFigures->clear(); // the figures shown were the last selected file's
        lblFigures->setToolTip({});
        break;
    case S::Writing:
        if (previous == S::Idle) // start mode Off: armed and writing in one press
            showRecordingState(S::Armed, S::Idle);
        cmdRecord->setText("Recording ");
        setButtonColour(cmdRecord, RecordWriting);
        break;
    case S::WritingOn:
        break;
    case S::Idle:
        setButtonColour(cmdRecord, RecordStopped);
        if (previous != S::Idle) {
            cmdRecord->setText("Record");
            TrackBar->setVisible(true);
            LevelLeft = LevelRight = 0;
            feedMeters(0, 0);
        }
        showDeleteMenus(true);
        startedTake_ = false;
        showCaption();
        break;
    }
}

void frmWaveFiles::showTakeUnderWay()
{
    using S = RecordingSession::State;
    const S state = recording().state();
    if (state == S::Idle)
        return;
    showRecordingState(S::Armed, S::Idle);
    if (state != S::Armed) {
        showRecordingState(S::Writing, S::Armed);
        lblTime->setText(recording().elapsedText());
    }
    feedMeters(recording().levelLeft(), recording().levelRight());
}

void frmWaveFiles::Slider_Change()
{
    const int position = Slider->position();
    showLevel();
    if (showingLevel_)
        return;
    trap([this, position] { app().setRecordLevel(position); });
}

void frmWaveFiles::showLevel() { Label3->setText(audio::decibelText(Slider->position(), 16384, 2)); }

void frmWaveFiles::Label3_DblClick() { Slider->setPosition(16384); }

} // namespace tamblor
