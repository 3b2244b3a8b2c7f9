#pragma once
// "Record Event": one record event typed in. Name, start, the days of the week or one date, the
// end by length or at a time of day, the slot (the first free one named from a template, or one
// fixed slot), what is done after recording, enabled. OK checks what was typed and stores it,
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

namespace tamblor {
class Studio;
}

namespace tamblor::events {

class frmEditEvent : public Form {
    Q_OBJECT
public:
    frmEditEvent(Application& app, Studio& studio);

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

    QLineEdit* txtName;
    QLineEdit* txtStart; // "17:00" or "17:00:30"
    std::array<QRadioButton*, 2> optWhen{}; // on days of the week, once on a date
    std::array<QCheckBox*, 7> chkDay{};     // Monday .. Sunday
    QLineEdit* txtDate; // "24.12.2026"
    std::array<QRadioButton*, 2> optEnd{}; // by length, at a time of day
    QLineEdit* txtLength; // "00:02:00", read as the program reads a time text
    QLineEdit* txtEnd;
    std::array<QRadioButton*, 2> optSlot{}; // first free slot, one fixed slot
    QLineEdit* txtTemplate;
    QLabel* lblExample;
    QLineEdit* txtSlot;
    QComboBox* cboAfter;
    QLineEdit* txtPeak;    // per cent of full scale, 1 to 100
    QLineEdit* txtTarget;  // LUFS, -60 to -5
    QLineEdit* txtCeiling; // dBTP, -20 to 0
    QCheckBox* chkEnabled;
    QLabel* lblMessage;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void fill(const schedule::RecordEvent& event);
    void followChoices();
    void showExample();

    Studio& studio_;
    schedule::RecordEvent event_; // as stored (or new): what the controls do not show is kept
};

} // namespace tamblor::events
