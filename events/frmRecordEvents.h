#pragma once
// "Record Events": the events that record by the clock, with their next start and last result
// (New, Change, Delete, Enable or Disable, Record Now), and their runs, the newest first. A result other
// than OK stands out in colour until the operator marks it seen; a take can be played from here.
// The lists follow every change of the events and runs, whoever makes it. A run's whole detail
// shows as its tooltip and in the pane under the list; an OK take whose longest silence reached
// the silence alarm's time is shown as a warning. The runs of a period are exported as CSV or
// printed; one-shot events that are done are listed only with "Show finished". The window
// opens beside the main menu, never over its line.
#include "app/Form.h"
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QMenuBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tamblor {
class Studio;
namespace jobs {
class Job;
}
}

namespace tamblor::events {

class frmRecordEvents : public Form {
    Q_OBJECT
public:
    // Columns of the lists.
    enum EventColumn { Name, Days, Start, End, Destination, Input, After, Enabled, NextStart, LastResult, EventColumns };
    enum RunColumn { RunEvent, Due, Started, Length, Slot, Result, Loudness, TruePeak, Silence, Peak, Detail, RunColumns };
    // A result that waits to be seen: the row's face; a result other than OK: its text.
    static QColor attentionColour();
    static QColor notOkTextColour();
    // The texts of a disabled event.
    static QColor disabledTextColour();
    // An OK take with a warning (a long silence), and an event that records telephone quality.
    static QColor warningTextColour();
    // The files offered for the CSV of the results and for the printout when no printer is
    // installed; the operator chooses where they go.
    static constexpr const char* CsvDosPath = "C:\\Tamblor\\Record Results.csv";
    static constexpr const char* PdfDosPath = "C:\\Tamblor\\Record Results.pdf";

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
    // The runs of the period typed in From and To (whole days, both included), to a file the
    // operator chooses (the last one chosen is offered next).
    void cmdExport_Click();
    void cmdPrint_Click();
    void chkFinished_Click();
    // The period as typed: from the start of From to the end of To; none (the message says why)
    // when a date is none.
    std::optional<std::pair<qint64, qint64>> period();
    jobs::Job& printJob() { return *printJob_; }
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
    QCheckBox* chkFinished;
    QTreeWidget* lstRuns;
    QPlainTextEdit* txtRunDetail;
    QLineEdit* txtFrom;
    QLineEdit* txtTo;
    QPushButton* cmdExport;
    QPushButton* cmdPrint;
    QPushButton* cmdSeen;
    QPushButton* cmdAllSeen;
    QPushButton* cmdPlay;
    QTimer* Timer1;

protected:
    void Form_Load() override;

private:
    void followSelection();
    void fillRun(QTreeWidgetItem* item, const schedule::RecordRun& run);
    void placeBesideMenu();
    void printEnded();
    double alarmSeconds() const;
    // The file chosen to write to, offering `offered` (native); empty when cancelled.
    QString chooseFile(const QString& title, const QString& offered, const QString& filter);
    // A native path as the operator knows it: on a drive when it is on one.
    QString shownPath(const QString& nativePath) const;
    jobs::Job* printJob_ = nullptr;
    QString csvPath_; // native paths, the last ones chosen
    QString pdfPath_;
    QString printingTo_; // the PDF file of the printout under way; empty for a printer

    Studio& studio_;
    // The events as the list shows them, row by row: the clock's tick updates their next start
    // from here, without reading them again.
    std::vector<schedule::RecordEvent> shown_;
};

} // namespace tamblor::events
