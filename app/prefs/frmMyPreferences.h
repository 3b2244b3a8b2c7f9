#pragma once
// "My Preferences": playback and recording cards, recording format, library drive, mono or
// stereo, record start mode with threshold and stop delay, remote control. The option buttons
// and the drive list change the shared settings at once; Apply writes records 1 to 9 of
// MyComp.ini and creates \Tamblor on the chosen drive.
//
// Record 4 holds the library drive as the letter's offset from C (0 = C, 1 = D, ...), the value
// start-up turns into DriveLetter. The drive list shows only the drives that exist, so on a
// machine whose drives have gaps (C, D, F) a list position is not that offset: the dialog
// selects the entry by its letter and stores the letter's offset, never the position.
//
// The loudness meter's scale and true-peak ceiling and the silence alarm's threshold, time and
// command are not records of MyComp.ini: Apply stores them in Tamblor.ini beside it (see
// ProgramSettings), after checking every one; a value out of its range stores nothing.
//
// Remote control: Off, the parallel port, the Prairie Digital card (not supported on this
// machine: it says so and points to the serial choice), or a serial port's modem lines. The
// port of the chosen kind is picked beside it (the stable /dev/serial/by-id names offered
// first) and stored in Tamblor.ini by Apply; the inputs' live states are shown below it.
#include "app/Form.h"
#include "core/ProgramSettings.h"
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;
class QRadioButton;

namespace tamblor {

class RemoteControl;

class frmMyPreferences : public Form {
    Q_OBJECT
public:
    // `remote`: the studio's remote lines, whose inputs the dialog shows live (none in a
    // dialog made without a studio).
    explicit frmMyPreferences(Application& app, RemoteControl* remote = nullptr);

    void lstDrv_Click();
    void optMode_Click(int index);
    void optRecord_Click(int index);
    void Option2_Click(int index);
    void cmdApply_Click();
    void cmdClose_Click();
    void mnuExit_Click();

protected:
    void Form_Load() override;

private:
    void applySettings();
    // The loudness and silence values as the boxes hold them; a value that is not a number or
    // is out of its range is reported with its box made ready to mend, and nullopt returned.
    std::optional<LoudnessPreferences> loudnessFromBoxes();
    void showLoudness(const LoudnessPreferences& p);
    // Selects the drive entry whose letter is DriveLetter-style code 67 + offset; none when
    // no listed drive has that letter.
    void selectDriveByOffset(int offset);
    // The remote lines' port box for the chosen kind, and the lines' live states.
    void showRemotePort();
    void showRemoteLines();

    QMenuBar* menuBar;
    QComboBox* Drive1;
    QLabel* lblMM1;
    QListWidget* lstMM1;
    QLabel* Label9;
    QListWidget* lstMM2;
    QLabel* Label3;
    QListWidget* List2;
    QLabel* Label8;
    QListWidget* lstDrv;
    std::array<QRadioButton*, 2> optMode{};
    QGroupBox* Frame1;
    std::array<QRadioButton*, 4> optRecord{};
    QLabel* Label4;
    QLineEdit* txtThreshold;
    QLabel* Label5;
    QLineEdit* txtStopDelay;
    QGroupBox* Frame3;
    std::array<QRadioButton*, 4> Option2{};
    QComboBox* cboRemotePort;
    QLabel* lblRemoteLines;
    RemoteControl* remote_;
    // The live loudness meter and the silence alarm.
    QGroupBox* fraLoudness;
    QLabel* lblMeterScale;
    QComboBox* cboMeterScale;
    QLabel* lblCeiling;
    QLineEdit* txtCeiling;
    QLabel* lblSilenceThreshold;
    QLineEdit* txtSilenceThreshold;
    QLabel* lblSilenceTime;
    QLineEdit* txtSilenceTime;
    QLabel* lblSilenceCommand;
    QLineEdit* txtSilenceCommand;
    QPushButton* cmdApply;
    QPushButton* cmdClose;
};

} // namespace tamblor
