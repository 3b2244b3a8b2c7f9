#pragma once
// "Normalize": the operator picks a target level on a vertical slider and has a wave file
// normalized to it in place. The work runs as a job on a worker thread; its progress comes
// back through NormalizeProgress and shows on a two-phase gauge. When the work is done the
// window closes itself.
// Beside the peak level, the operator may choose a loudness target (LUFS, the true peak kept at
// -1 dBTP). A loudness scan's figures show in the window once it is done; after a
// loudness normalize the window stays open and says what was reached.
#include "app/Form.h"
#include <memory>

class QDoubleSpinBox;
class QLabel;
class QRadioButton;
class QMenu;
class QMenuBar;
class QPushButton;

namespace tamblor {

namespace jobs {
class Job;
}

namespace audio {
class Gauge;
class Slider;
struct LoudnessFigures;
struct NormalizeReport;
} // namespace audio

class frmNormalize : public Form {
    Q_OBJECT
public:
    explicit frmNormalize(Application& app);

    // The whole percentage of full scale handed to the normalizer for a slider position
    // 0..16384, halves rounded to the even number (9191 gives 56, 2048 gives 12).
    static int levelPercent(int position);
    // The level text of a slider position, relative to full scale.
    static QString levelText(int position);
    // The true peak a loudness normalize never passes, in dBTP.
    static constexpr double kTruePeakCeiling = -1.0;
    static constexpr double kDefaultLoudness = -23.0;

    void Slider_Change(int position);
    void cmdNormalize_Click();
    void cmdClose_Click();
    void mnuExit_Click();
    // Called back while the file is worked on: phase 0 scans, any other phase rewrites.
    // Returns false once the operator has closed the window, which stops the work.
    bool NormalizeProgress(int percent, int phase, int unused);

    bool isWorking() const { return working_; }
    // The job the file is worked on by.
    jobs::Job& job() const { return *job_; }
    // Shows what the scan measured.
    void showLoudness(const audio::LoudnessFigures& figures);

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

private:
    void setWorking(bool working);
    // The job has ended: show what it did, or why not, and close when done.
    void workEnded(bool done);
    void optMode_Click();
    // What a loudness normalize reached, or why the file was left as it was.
    void showOutcome(const audio::NormalizeReport& report, double target);

    QMenuBar* menuBar;
    QMenu* mnuFiles;
    audio::Slider* Slider;
    QLabel* lblLevel;
    audio::Gauge* Gauge;
    QPushButton* cmdNormalize;
    QPushButton* cmdClose;
    QRadioButton* optPeak;
    QRadioButton* optLoudness;
    QDoubleSpinBox* txtTarget;
    QLabel* lblCeiling;
    QLabel* lblMono;
    QLabel* lblIntegrated;
    QLabel* lblRange;
    QLabel* lblTruePeak;
    QLabel* lblResult;

    // The file name handed to the normalizer and taken back after it; empty, so the
    // normalizer asks the operator for the file.
    QString FileName;
    bool working_ = false;
    bool closeRequested_ = false;
    // What the running job works towards, and what it found.
    bool toLoudness_ = false;
    double targetLufs_ = 0.0;
    struct Outcome;
    std::shared_ptr<Outcome> outcome_;
    jobs::Job* job_;
};

} // namespace tamblor
