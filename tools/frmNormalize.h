#pragma once
// "Normalize": the operator picks a target level on a vertical slider and has a wave file
// normalized to it in place. The work runs inside the call on this thread; its progress comes
// back through NormalizeProgress and shows on a two-phase gauge. When the work is done the
// window closes itself.
#include "app/Form.h"

class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace tamblor {

namespace audio {
class Gauge;
class Slider;
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

    void Slider_Change(int position);
    void cmdNormalize_Click();
    void cmdClose_Click();
    void mnuExit_Click();
    // Called back while the file is worked on: phase 0 scans, any other phase rewrites.
    // Returns false once the operator has closed the window, which stops the work.
    bool NormalizeProgress(int percent, int phase, int unused);

    bool isWorking() const { return working_; }

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

private:
    void setWorking(bool working);

    QMenuBar* menuBar;
    QMenu* mnuFiles;
    audio::Slider* Slider;
    QLabel* lblLevel;
    audio::Gauge* Gauge;
    QPushButton* cmdNormalize;
    QPushButton* cmdClose;

    // The file name handed to the normalizer and taken back after it; empty, so the
    // normalizer asks the operator for the file.
    QString FileName;
    bool working_ = false;
    bool closeRequested_ = false;
};

} // namespace tamblor
