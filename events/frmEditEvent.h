#pragma once
// "Record Event": one record event typed in. Name, start, the days of the week or one date, the
// end by length or at a time of day, the slot (the first free one named from a template, or one
// fixed slot), the input (card, format, channels; each as the preferences have it unless one is
// chosen), what is done after recording, enabled. "Check input" opens the input chosen for a few
// seconds, when no take holds it, and shows its levels and loudness. OK checks what was typed and stores it,
// or says what is wrong and keeps the window open; warnings are told in the message window and
// the event is stored all the same.
#include "app/Form.h"
#include "schedule/RecordEvent.h"
#include <QStringList>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tamblor {
class Studio;
}
namespace tamblor::audio {
class LevelMeter;
class LoudnessPanel;
}

namespace tamblor::events {

class frmEditEvent : public Form {
    Q_OBJECT
public:
    frmEditEvent(Application& app, Studio& studio);
    // A check this window opened ends with it.
    ~frmEditEvent() override;

    // Shows the stored event of that id, or a new one for 0.
    void editEvent(qint64 id);
    qint64 eventId() const { return event_.id; }
    // The event as the controls have it now, and what of it could not be read (a start that is
    // no time of day, a date that is no date, a number that is none or out of its range).
    struct Typed {
        schedule::RecordEvent event;
        QStringList errors;
    };
    Typed typed() const;

    void cmdOK_Click();
    void cmdCancel_Click();
    // Opens the input chosen for CheckMs (or ends a check under way).
    void cmdCheck_Click();
    void endCheck();
    static constexpr int CheckMs = 10000;
    // Which entry of the input lists means "as the preferences have it".
    static constexpr int AsPreferences = -1;

    QLineEdit* txtName;
    QLineEdit* txtStart; // "17:00" or "17:00:30"
    std::array<QRadioButton*, 2> optWhen{}; // on days of the week, once on a date
    std::array<QCheckBox*, 7> chkDay{};     // Monday .. Sunday
    QLineEdit* txtDate; // "12/24/2026", the main menu's form
    std::array<QRadioButton*, 2> optEnd{}; // by length, at a time of day
    QLineEdit* txtLength; // "00:02:00", read as the program reads a time text
    QLineEdit* txtEnd;
    std::array<QRadioButton*, 2> optSlot{}; // first free slot, one fixed slot
    QLineEdit* txtTemplate;
    QLabel* lblExample;
    QLineEdit* txtSlot;
    QComboBox* cboDevice;   // item data: the card's number, or AsPreferences
    QComboBox* cboFormat;   // item data: the format's number 0..5, or AsPreferences
    QComboBox* cboChannels; // item data: 0 mono, 1 stereo, or AsPreferences
    QLabel* lblQuality;     // telephone quality (8 kHz or mono), said before the first take
    QPushButton* cmdCheck;
    QLabel* lblCheck;
    audio::LevelMeter* Level1;
    audio::LevelMeter* Level2;
    audio::LoudnessPanel* Loudness1;
    QTimer* CheckTimer;
    QComboBox* cboAfter;
    QLineEdit* txtPeak;    // per cent of full scale, 1 to 100
    QLineEdit* txtTarget;  // LUFS, -60 to -5
    QLineEdit* txtCeiling; // dBTP, -20 to 0
    QCheckBox* chkEnabled;
    QLabel* lblMessage;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

protected:
    // Closing the window ends the check it opened.
    void Form_Unload(bool& cancel) override;

private:
    void fill(const schedule::RecordEvent& event);
    void followChoices();
    void showExample();
    void showQuality();
    // The greyed end follows the start: the end at a time of day as the length gives it, or
    // the length as the end gives it, whichever is not chosen.
    void followStart();
    void fillInputs(const schedule::RecordEvent& event);
    void showCheck(bool checking);
    void showProgramme();

    Studio& studio_;
    schedule::RecordEvent event_; // as stored (or new): what the controls do not show is kept
    bool checkStarted_ = false;   // this window opened the check under way
};

} // namespace tamblor::events
