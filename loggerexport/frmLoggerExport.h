#pragma once
// "Export from the logger": a span of wall-clock time (start and end as the main menu writes
// dates, and a time of day) joined from the logger's segments into one wave file, chosen with the
// program's drive and folder lists and a name. The export runs as a job; the window shows its
// progress and, at the end, what the file holds: its length and every stretch of silence put
// where nothing was recorded, with its place in the file and its cause. Cancel stops it and
// leaves no file. Times are local; a time in the hour the clocks go back comes twice, and beside
// such a time (only then) the operator picks its first pass or its second.
#include "app/Form.h"
#include <QtGlobal>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tamblor {

class DriveList;
class FolderList;

namespace jobs {
class Job;
}
namespace audio {
class Gauge;
}
namespace logger {
struct ExportResult;
}

class frmLoggerExport : public Form {
    Q_OBJECT
public:
    // The span's start and end (UTC ms) to begin with; none: the last whole hour.
    explicit frmLoggerExport(Application& app, std::optional<qint64> startMs = {}, std::optional<qint64> endMs = {});
    ~frmLoggerExport() override;

    // Puts a span in the boxes (the Logger window hands the one the operator picked), with the
    // pass of a repeated hour that each instant falls in.
    void setSpan(qint64 startMs, qint64 endMs);
    // The span the boxes hold, none when one of them is not a date and time.
    std::optional<qint64> startMs() const;
    std::optional<qint64> endMs() const;
    // The native path the file goes to.
    QString targetPath() const;

    void cmdExport_Click();
    void cmdCancel_Click();

    bool isWorking() const { return working_; }
    jobs::Job& job() const { return *job_; }
    // The outcome of the last export, none before one has ended.
    const logger::ExportResult* lastResult() const { return result_.get(); }

protected:
    void Form_Unload(bool& cancel) override;

private:
    // The local date and time of day in a pair of boxes; the pass chosen when they come twice.
    struct LocalBoxes {
        QLineEdit* date;
        QLineEdit* time;
        QComboBox* pass; // shown only while the boxes hold a time that comes twice
    };
    std::vector<qint64> instantsOf(const LocalBoxes& boxes) const;
    std::optional<qint64> msOf(const LocalBoxes& boxes) const;
    void put(qint64 ms, const LocalBoxes& boxes);
    void showPass(const LocalBoxes& boxes);
    void setWorking(bool working);
    void exportEnded();

    QLineEdit* txtStartDate;
    QLineEdit* txtStartTime;
    QLineEdit* txtEndDate;
    QLineEdit* txtEndTime;
    QComboBox* cboStartPass;
    QComboBox* cboEndPass;
    LocalBoxes start_;
    LocalBoxes end_;
    DriveList* Drive1;
    FolderList* Dir1;
    QLineEdit* txtFile;
    audio::Gauge* Gauge;
    QPlainTextEdit* txtResult;
    QPushButton* cmdExport;
    QPushButton* cmdCancel;

    jobs::Job* job_;
    bool working_ = false;
    bool closeRequested_ = false;
    std::shared_ptr<logger::ExportResult> running_;
    std::shared_ptr<logger::ExportResult> result_;
};

} // namespace tamblor
