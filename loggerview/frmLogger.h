#pragma once
// "Logger": what the logger on this root has recorded, as a grid of days (newest first) by the
// 24 hours, each hour coloured by the worst that covers it with its reason on hover, a legend,
// and a status line (whether the logger runs now, its last segment, the days the disk still
// holds). A click on an hour plays its segment from the clicked minute (the click's place
// across the hour) through a player of the window's own; Stop ends it.
//
// The hours are columns of two halves: an hour that comes twice (the clocks go back) shows its
// two hours in the two halves, an hour that does not exist (the clocks go forward) is blank.
// The logger's database is only read (LoggerReader); nothing here writes it.
#include "app/Form.h"
#include "logger/LoggerCoverage.h"
#include "studio/PlaybackSession.h"
#include <QDate>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

namespace tamblor {

namespace logger {
class LoggerReader;
}

class frmLogger : public Form {
    Q_OBJECT
public:
    static constexpr int RefreshMs = 10000;
    static constexpr int DayChoices[] = {7, 14, 28, 42};
    // Each hour is two columns of the grid.
    static constexpr int HalfWidth = 18;
    // Item data: the span of an hour's cell (ms since 1970).
    static constexpr int StartRole = 0x0100 + 1; // Qt::UserRole + 1
    static constexpr int EndRole = 0x0100 + 2;

    frmLogger(Application& app, logger::LoggerReader& reader);

    // Shows the days up to `newest` (today at first).
    void showDays(const QDate& newest);
    const QDate& newest() const { return newest_; }
    int dayCount() const;
    // The cell of a day's hour (the nth one of that hour on the day the clocks go back); null
    // when the day is not shown or the hour does not exist.
    QTableWidgetItem* cellItem(const QDate& date, int hour, int nth = 0) const;
    // Plays the moment `ms`, or what follows it before `untilMs`; false (and said) when nothing does.
    bool playAt(qint64 ms, qint64 untilMs);
    PlaybackSession& playback() { return playback_; }

    void cmdEarlier_Click();
    void cmdLater_Click();
    void cmdToday_Click();
    void cmdStop_Click();
    // Opens the export window, given the hour clicked last.
    void cmdExport_Click();
    void grdCoverage_Click(QTableWidgetItem* item, double across);

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void showStatus();
    void fillGrid(const std::vector<logger::CoverageDay>& days);
    QDate today() const;

    logger::LoggerReader& reader_;
    PlaybackSession playback_;
    QDate newest_;
    std::optional<logger::LoggerCoverage> coverage_;
    std::optional<std::pair<qint64, qint64>> clickedSpan_;

    QLabel* lblStatus;
    QPushButton* cmdEarlier;
    QPushButton* cmdLater;
    QPushButton* cmdToday;
    QLabel* lblDays;
    QComboBox* cboDays;
    QLabel* lblSpan;
    QTableWidget* grdCoverage;
    std::vector<QLabel*> lblLegend;
    QLabel* lblPlaying;
    QPushButton* cmdStop;
    QPushButton* cmdExport;
    QPushButton* cmdClose;
    QTimer* tmrRefresh;
};

} // namespace tamblor
