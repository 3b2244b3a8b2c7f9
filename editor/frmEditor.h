#pragma once
// The wave editor: browse for a wave file, draw it as a peak waveform, zoom, play from the
// locator or a selection, set marks and cut the selection out of the file in place. The drawing
// and the cut run as jobs on worker threads; the window shows their progress and results.
#include "app/Form.h"
#include "audio/files/MemMapFile.h"
#include "audio/files/WaveFile.h"
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;

namespace tamblor {

class DriveList;
class FileList;
class FolderList;

namespace jobs {
class Job;
}

namespace audio {
class FilePlayer;
class LevelMeter;
class LevelScale;
class Oscope;
} // namespace audio

// Fields of the editor that outlive the window (closing and reopening keeps them): the file
// last chosen and the export marks, byte positions in it.
struct EditorFields {
    QString EditorFilePath;
    int32_t ExportStart = 0;
    int32_t ExportStop = 0;
};

class frmEditor : public Form {
    Q_OBJECT
public:
    explicit frmEditor(Application& app);
    ~frmEditor() override;

    // The title of the load messages.
    static constexpr const char* kTitle = "Tamblor";
    // Bytes per second that turn a byte position into the shown time, whatever the format.
    static constexpr double kTimeDivisor = 176000.0;
    static constexpr double kReadoutDivisor = 1761000.0;
    // Bytes a cut counts in: whole chunks of this size are kept or removed.
    static constexpr int64_t kCutChunk = 4096;
    // Drawing or cutting fewer bytes than this takes a few milliseconds: the window waits for
    // such a job at once, so a small view or file shows its result without a turn of the event
    // loop. Larger work runs while the window goes on answering.
    static constexpr int64_t kWaitBytes = 4 << 20;
    int64_t waitBytes = kWaitBytes; // 0 never waits
    // How often a drawing shows the columns done so far.
    static constexpr int kPartialDrawMs = 15;

    // Editor state: the view in bytes of sample data, the columns, the play position.
    int64_t ViewStart = 0;
    int64_t ViewLength = 0;
    int64_t ColumnCount = 0;
    int64_t ColumnStep = 0;
    int64_t BytesPerSecond = 0;
    int64_t PositionSeconds = 0;
    QString PositionText;
    std::vector<int16_t> PeakBuffer; // one value per column
    int GainStep = 10;               // the display starts at its stored gain 10

    // Controls.
    QMenuBar* menuBar = nullptr;
    QMenu* mnuFiles = nullptr;
    QAction* mnuLoad = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuHiddenPopup = nullptr;
    QAction* mnuExportStart = nullptr;
    QAction* mnuExportStop = nullptr;
    QAction* mnuExport = nullptr;
    QAction* mnuDelete = nullptr;
    DriveList* Drive1 = nullptr;
    FolderList* Dir1 = nullptr;
    FileList* File1 = nullptr;
    audio::Oscope* Oscope = nullptr;
    QPushButton* cmd1 = nullptr;
    QPushButton* cmd2 = nullptr;
    QPushButton* cmd3 = nullptr;
    QPushButton* cmd4 = nullptr;
    QPushButton* cmd5 = nullptr;
    QPushButton* cmdBegin = nullptr;
    QPushButton* cmdRwd = nullptr;
    QPushButton* cmdFF = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdGain = nullptr;
    QLabel* lblUp = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTimer* Timer1 = nullptr;
    audio::FilePlayer* WavePlayer = nullptr;
    audio::LevelMeter* MMLevelX1 = nullptr;
    audio::LevelMeter* MMLevelX2 = nullptr;
    audio::LevelScale* MMLevelScaleX1 = nullptr;

    // The wave being edited and the mapping the drawing reads.
    audio::WaveFile& waveFile() { return waveFile_; }
    audio::MemMapFile& memMapFile() { return memMap_; }
    // True once a file has been loaded and mapped (and until a load fails).
    bool isLoaded() const { return loaded_; }
    bool isDeleting() const { return deleting_; }
    // True while a drawing or a cut runs.
    bool isBusy() const;
    // The jobs the drawing and the cut run as.
    jobs::Job& drawJob() const { return *drawJob_; }
    jobs::Job& cutJob() const { return *cutJob_; }

    // Procedures.
    void LoadChosenFile();
    void ReloadWave();
    void DrawWave();
    void TimeConvert();
    void DeleteBytes();

    // Handlers.
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void mnuLoad_Click();
    void mnuExit_Click();
    void cmd_Click(int k); // the zoom buttons: k = 1, 10, 60, 600 seconds
    void cmd5_Click();
    void cmdBegin_Click();
    void cmdRwd_Click();
    void cmdFF_Click();
    void cmdPlay_Click();
    void cmdStop_Click();
    void cmdGain_Click();
    void WavePlayer_Started();
    void WavePlayer_Stopped();
    void Timer1_Timer();
    void Oscope_ButtonPressed(int button, int shift, int x, int y);
    void Oscope_ButtonReleased(int button, int shift, int x, int y);
    void mnuExportStart_Click();
    void mnuExportStop_Click();
    void mnuExport_Click();
    void mnuDelete_Click();

    // Column and byte conversions over the current view.
    int64_t columnToByte(double x) const;
    int64_t byteToColumn(double p) const;

    // The DOS path of the working copy the last cut was written through.
    const QString& cutCopyName() const { return cutCopyName_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

private:
    EditorFields& fields();
    QString cutCopyName_;
    QString native(const QString& dosPath) const;
    void failedLoad();
    void stopPlayer();
    void followPlayer(int64_t position);
    void setLocator(int64_t column);
    // The display was resized: draw the same view over its new number of columns.
    void followDisplayWidth();
    // Ends any drawing in progress; nothing more of it is shown.
    void invalidateDrawing();
    // Shows columns a drawing has measured, and the locator where the player is.
    void showColumns(std::vector<int16_t> peaks);
    // The cut's copy is complete (or the cut failed or stopped): put it in place and reload.
    void cutEnded();
    void reopenAfterCut(const QString& original, bool report);
    // Waits at once for a job over fewer than waitBytes bytes.
    void waitIfSmall(jobs::Job& job, int64_t bytes);
    int64_t playerPosition() const;
    QString freeNumberedName(const QString& dosPath) const;

    audio::WaveFile waveFile_;
    audio::MemMapFile memMap_;
    QTimer* meterTimer_ = nullptr;
    jobs::Job* drawJob_ = nullptr;
    jobs::Job* cutJob_ = nullptr;
    struct CutOutcome;
    std::shared_ptr<CutOutcome> cut_;
    bool loaded_ = false;
    bool deleting_ = false;
    bool widthChangePending_ = false;
};

} // namespace tamblor
