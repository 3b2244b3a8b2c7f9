#pragma once
// The library window: the list of numbered sound files, their details (renamed and re-timed
// in place), playback with pause and a position bar, and recording into the first free slot
// with an optional level-controlled start and stop. The list follows the sound library: a slot
// changed by anyone (a take finished, maintenance, the delete confirmation) shows at once. The
// take and the playback belong to the studio, not to the window: opened during a take, the
// window shows it.
//
// The class is split by concern:
//   frmWaveFiles.cpp            controls, menus, load and unload
//   frmWaveFiles_List.cpp       the list, selection, editing, views, pop-up menu
//   frmWaveFiles_Playback.cpp   play, pause, the playing branch of the stop routine
//   frmWaveFiles_Recording.cpp  record, level slider, timer, the recording branch of stop
//   frmWaveFiles_Loudness.cpp   the live loudness meter and the silence alarm's band
//   frmWaveFiles_Maintenance.cpp  delete, export and send to, print, the reserved-slot commands
#include "app/Form.h"
#include "studio/Studio.h"
#include <QColor>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;

namespace tamblor {

namespace jobs {
class Job;
}

class SortedListBox;

namespace audio {
class FilePlayer;
class InputDevice;
class LevelMeter;
class LevelScale;
class LoudnessPanel;
class RecordingWriter;
class Slider;
} // namespace audio

// Fields of the library window that outlive the window (closing and reopening keeps them).
struct LibraryWindowFields {
    int32_t SelectedSlot = 0; // slot of the entry the operator selected last; 0 before any
    int16_t ViewMode = 0;     // 0 names first, 1 numbers first
};

class frmWaveFiles : public Form {
    Q_OBJECT
public:
    // Transport colours.
    static inline const QColor PlayIdle{0, 128, 0};
    static inline const QColor PlayActive{128, 255, 128};
    static inline const QColor PauseIdle{255, 255, 192};
    static inline const QColor PauseActive{255, 255, 0};
    static inline const QColor RecordReady{255, 255, 0};
    static inline const QColor RecordWriting{255, 0, 0};
    static inline const QColor RecordStopped{192, 0, 0};

    // How the list is reselected after a rebuild.
    // (TakeSlot: the slot of the take that just ended.)
    enum class Reselect { None, SelectedSlot, TakeSlot };

    frmWaveFiles(Application& app, Studio& studio);
    ~frmWaveFiles() override;

    // Public procedures of the window.
    void LoadWaveFiles();
    void RebuildList(Reselect reselect);
    void PlayWaveFile();
    void StopWaveFile();
    // Selects a list entry by program (running the selection handling); -1 clears it.
    void selectEntry(int row);

    // "Time remaining: " text for a free space and a byte rate ("16:40" for 176400000 / 176400).
    static QString timeRemainingText(int64_t freeBytes, int bytesPerSecond);
    // The text shown when the player refuses a file.
    static QString playFailureText(int number, const QString& description, int fileRate, int16_t recordState);

    // Handlers.
    void cmdClose_Click();
    void mnuExit_Click();
    void lstSoundFile_Click();
    void lstSoundFile_KeyDown(int keyCode);
    void lstSoundFile_MouseUp(Qt::MouseButton button, const QPoint& globalPos);
    void mnuViewName_Click();
    void mnuViewNumber_Click();
    void mnuHiddenPopupRefresh_Click();
    void txtName_Change();
    void txtName_DblClick();
    void txtName_KeyPress(int keyAscii);
    void txtLength_Change();
    void txtNumber_DblClick();
    void txtNumber_KeyPress(int keyAscii);

    void cmdPlay_Click();
    void cmdPause_Click();
    void cmdStop_Click();
    void cmdStop_KeyPress();
    void WavePlayer_PlaybackEnded();
    void TrackBar_MovedByUser();

    void cmdRecord_Click();
    void WaveIn_BufferFilled(qint64 sequence, int left, int right);
    void WaveIn_CaptureEnded();
    void Timer1_Timer();
    void Slider_Change();
    void Label3_DblClick();

    // Maintenance commands; their behaviour is built with the delete dialog and the send-to
    // window.
    void mnuDelete_Click();
    void mnuHiddenPopupDelete_Click();
    void mnuExport_Click();
    void mnuHiddenPopupSendTo_Click();
    void mnuPrint_Click();
    void mnuFileIndexView_Click();
    void mnuFileIndexDelete_Click();
    // Hands the selected slot to the send-to window, or says that nothing is selected.
    void sendSelected(const QString& noSelectionText);
    // Opens the delete confirmation for the selected entry.
    void confirmDelete();
    // Empties the detail boxes and forgets the selected slot (after its entry was deleted).
    void clearDetails();

    // The library, and the owners of a take and of a playback; the window is their view.
    SoundLibrary& library() { return studio_.library(); }
    RecordingSession& recording() { return studio_.recording(); }
    PlaybackSession& playback() { return studio_.playback(); }
    // Their components (tests step them).
    audio::InputDevice& WaveIn() { return recording().input(); }
    audio::RecordingWriter& WaveFile() { return recording().writer(); }
    audio::FilePlayer& WavePlayer() { return playback().player(); }

    // Takes the shared settings (devices, rate, channels, start mode, drive) now when idle,
    // otherwise when the take or the playback ends.

    // Form-level state.
    bool Paused = false;
    int LevelLeft = 0;
    int LevelRight = 0;
    int32_t RecordStartTime = 0;

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus(QMenuBar* bar);
    LibraryWindowFields& fields();
    // Runs a handler; a failure it does not trap itself is reported through the message window.
    void trap(const std::function<void()>& handler);
    void showDeleteMenus(bool shown);
    void addListLine(int view, int slot, const QString& soundName); // view 0, 1, or 2 for the rebuild layout
    // A slot changed in the library: its entry is added, replaced or removed.
    void followSlot(int slot);
    // Runs one of the window's own edits of the index; the list shows them as it always has
    // (a rename on Enter), not at each key.
    void ownEdit(const std::function<void()>& edit);
    // Shows a take already under way when the window opens.
    void showTakeUnderWay();
    void playingTick();
    void feedMeters(int left, int right);
    // The live loudness and the silence alarm as the studio's watch has them now.
    void showProgramme();
    // The meter's scale and true-peak ceiling from the preferences.
    void takeLoudnessPreferences();
    // The selected slot's figures in the details ("-21.3 LUFS  LRA 6.1  TP -2.4 dBTP"), asking
    // for them to be measured when they are missing or stale.
    void showFigures(int slot);
    // The remote lines' port and inputs as the studio reads them.
    void showRemoteLines();
    void followFigures(int slot);
    int figuresCheck_ = 0; // timer ticks since the selected file was last looked at
    // The views of the two sessions: captions, colours, menus.
    void showRecordingState(RecordingSession::State state, RecordingSession::State previous);
    void showPlaybackState(PlaybackSession::State state, PlaybackSession::State previous);
    // The record level's figure beside the slider.
    void showLevel();
    void showCaption();
    // The printout has ended: say where it went, or why it failed.
    void printEnded();

public:
    // Controls.
    SortedListBox* lstSoundFile = nullptr;
    QLineEdit* txtNumber = nullptr;
    QLabel* lblNumber = nullptr;
    QLineEdit* txtName = nullptr;
    QLineEdit* txtLength = nullptr;
    QLineEdit* txtRecordDate = nullptr;
    QPushButton* cmdRecord = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdPause = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdClose = nullptr;
    QCheckBox* Check1 = nullptr;
    audio::Slider* Slider = nullptr;
    audio::Slider* TrackBar = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblTime = nullptr;
    QLabel* lblRemoteLines = nullptr;
    audio::LevelMeter* Level1 = nullptr;
    audio::LevelMeter* Level2 = nullptr;
    audio::LevelScale* LevelScale1 = nullptr;
    // The live loudness of what is recorded or played.
    audio::LoudnessPanel* Loudness1 = nullptr;
    // The silence alarm: a red band across the window with the time silent and the level.
    QLabel* lblSilence = nullptr;
    // The selected slot's loudness figures.
    QLabel* lblFigures = nullptr;
    QTimer* Timer1 = nullptr;

    // Menus.
    QMenu* mnuFiles = nullptr;
    QMenu* mnuFileIndex = nullptr;
    QMenu* mnuView = nullptr;
    QMenu* mnuHiddenPopup = nullptr;
    QAction* mnuExport = nullptr;
    QAction* mnuPrint = nullptr;
    QAction* mnuFileIndexView = nullptr;
    QAction* mnuFileIndexDelete = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuViewName = nullptr;
    QAction* mnuViewNumber = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* mnuImportFile = nullptr;
    QAction* mnuCDRip = nullptr;
    QAction* mnuHiddenPopupPlay = nullptr;
    QAction* mnuHiddenPopupStop = nullptr;
    QAction* mnuHiddenPopupRefresh = nullptr;
    QAction* mnuHiddenPopupSendTo = nullptr;
    QAction* mnuHiddenPopupDelete = nullptr;

    // The job the printed list runs as.
    jobs::Job& printJob() const { return *printJob_; }

private:
    jobs::Job* printJob_ = nullptr;
    QString printPdfDos_; // where a printout goes when no printer is installed
    Studio& studio_;
    int listView_ = 0;              // the layout of the list's lines (see addListLine)
    bool ownEdit_ = false;          // the window is writing the index itself
    bool following_ = false;        // the detail boxes are being refreshed from the library
    bool startedTake_ = false;      // the take under way was started here

    bool selecting_ = false;        // a selection by program is under way
    bool clickHandled_ = false;     // the current mouse press already ran the selection handling
    bool showingLevel_ = false;     // the slider set from the settings, not by the operator
};

} // namespace tamblor
