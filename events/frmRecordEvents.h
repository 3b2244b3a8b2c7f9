#pragma once
// "Record Events": the events that record by the clock, with their next start and last result
// (New, Change, Delete, Enable or Disable, Record Now), and their runs, the newest first. A result other
// than OK stands out in colour until the operator marks it seen; a take can be played from here.
// The lists follow every change of the events and runs, whoever makes it.
#include "app/Form.h"
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include <optional>
#include <vector>

class QLabel;
class QMenuBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tamblor {
class Studio;
}

namespace tamblor::events {

class frmRecordEvents : public Form {
    Q_OBJECT
public:
    // Columns of the lists.
    enum EventColumn { Name, Days, Start, End, Destination, After, Enabled, NextStart, LastResult, EventColumns };
    enum RunColumn { RunEvent, Due, Started, Length, Slot, Result, Peak, Detail, RunColumns };
    // A result that waits to be seen: the row's face; a result other than OK: its text.
    static QColor attentionColour();
    static QColor notOkTextColour();
    // The texts of a disabled event.
    static QColor disabledTextColour();

    frmRecordEvents(Application& app, Studio& studio);

    // The event or run of the selected row.
    std::optional<qint64> selectedEvent() const;
    std::optional<qint64> selectedRun() const;
    void selectEvent(qint64 id);
    void selectRun(qint64 id);

    void cmdNew_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdEnable_Click();
    void cmdRecordNow_Click();
    void cmdSeen_Click();
    void cmdAllSeen_Click();
    void cmdPlay_Click();
    void mnuExit_Click();
    // Refreshes the next starts (every second).
    void Timer1_Timer();
    // Rebuilds the lists from the stores.
    void LoadEvents();
    void LoadRuns();

    QMenuBar* menuBar;
    QLabel* lblDatabase;
    QTreeWidget* lstEvents;
    QPushButton* cmdNew;
    QPushButton* cmdEdit;
    QPushButton* cmdDelete;
    QPushButton* cmdEnable;
    QPushButton* cmdRecordNow;
    QLabel* lblAttention;
    QTreeWidget* lstRuns;
    QPushButton* cmdSeen;
    QPushButton* cmdAllSeen;
    QPushButton* cmdPlay;
    QTimer* Timer1;

protected:
    void Form_Load() override;

private:
    void followSelection();
    void fillRun(QTreeWidgetItem* item, const schedule::RecordRun& run);

    Studio& studio_;
    // The events as the list shows them, row by row: the clock's tick updates their next start
    // from here, without reading them again.
    std::vector<schedule::RecordEvent> shown_;
};

} // namespace tamblor::events
