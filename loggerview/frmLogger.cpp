#include "loggerview/frmLogger.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "logger/LoggerReader.h"
#include "logger/SegmentTimes.h"
#include "loggerexport/frmLoggerExport.h"
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

namespace tamblor {

using logger::CoverageState;

namespace {

QString dayLabel(const QDate& date)
{
    return date.toString("ddd dd MMM");
}

QString moment(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH:mm:ss") + " " +
           logger::SegmentTimes::offsetText(logger::SegmentTimes::utcOffsetSeconds(ms));
}

} // namespace

frmLogger::frmLogger(Application& app, logger::LoggerReader& reader)
    : Form(app, WindowName::frmLogger), reader_(reader), playback_(app)
{
    using namespace controls;
    setWindowTitle("Logger");

    lblStatus = label(this, "lblStatus");
    lblStatus->setWordWrap(true);
    cmdEarlier = button(this, "cmdEarlier", "< Earlier");
    cmdToday = button(this, "cmdToday", "Today");
    cmdLater = button(this, "cmdLater", "Later >");
    lblSpan = label(this, "lblSpan");
    lblDays = label(this, "lblDays", "Days:");
    cboDays = named(new QComboBox(this), "cboDays");
    for (int days : DayChoices)
        cboDays->addItem(QString::number(days), days);

    grdCoverage = named(new QTableWidget(this), "grdCoverage");
    grdCoverage->setColumnCount(48);
    grdCoverage->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdCoverage->setSelectionMode(QAbstractItemView::NoSelection);
    grdCoverage->setFocusPolicy(Qt::NoFocus);
    grdCoverage->setShowGrid(true);
    grdCoverage->setMouseTracking(true);
    QStringList hours;
    for (int h = 0; h < 24; ++h)
        hours << QString("%1").arg(h, 2, 10, QChar('0')) << QString();
    grdCoverage->setHorizontalHeaderLabels(hours);
    grdCoverage->horizontalHeader()->setMinimumSectionSize(HalfWidth);
    grdCoverage->horizontalHeader()->setDefaultSectionSize(HalfWidth);
    grdCoverage->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int column = 0; column < 48; ++column)
        grdCoverage->setColumnWidth(column, HalfWidth);
    grdCoverage->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grdCoverage->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdCoverage->verticalHeader()->setDefaultSectionSize(22);
    grdCoverage->viewport()->installEventFilter(this);
    grdCoverage->setToolTip("Point at an hour for what covers it; click to play it from that minute");

    auto* legend = new QGridLayout;
    legend->setHorizontalSpacing(6);
    for (int i = 0; i <= logger::CoverageStateCount; ++i) {
        QLabel* swatch = label(this, QString("lblSwatch_%1").arg(i));
        swatch->setMinimumSize(16, 14);
        swatch->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        swatch->setAlignment(Qt::AlignCenter);
        QLabel* l = label(this, QString("lblLegend_%1").arg(i));
        if (i < logger::CoverageStateCount) {
            const auto state = CoverageState(i);
            l->setText(logger::stateText(state));
            swatch->setStyleSheet(QString("QLabel { background-color: %1; border: 1px solid #808080; }")
                                      .arg(logger::stateColour(state)));
        } else {
            swatch->setText("H");
            l->setText("on hold (kept from deletion)");
        }
        lblLegend.push_back(l);
        legend->addWidget(swatch, i / 6, 2 * (i % 6));
        legend->addWidget(l, i / 6, 2 * (i % 6) + 1);
    }
    for (int column = 1; column < 12; column += 2)
        legend->setColumnStretch(column, 1);

    lblPlaying = label(this, "lblPlaying");
    cmdStop = button(this, "cmdStop", "Stop");
    cmdStop->setEnabled(false);
    cmdExport = button(this, "cmdExport", "Export...");
    cmdExport->setToolTip("Joins a span of the recording into one wave file: the hour clicked last, or any span you give");
    cmdClose = button(this, "cmdClose", "Close");
    tmrRefresh = named(new QTimer(this), "tmrRefresh");
    tmrRefresh->setInterval(RefreshMs);

    auto* span = new QHBoxLayout;
    span->addWidget(cmdEarlier);
    span->addWidget(cmdToday);
    span->addWidget(cmdLater);
    span->addSpacing(12);
    span->addWidget(lblSpan);
    span->addStretch(1);
    span->addWidget(lblDays);
    span->addWidget(cboDays);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblPlaying, 1);
    bottom->addWidget(cmdStop);
    bottom->addSpacing(24);
    bottom->addWidget(cmdExport);
    bottom->addSpacing(24);
    bottom->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addLayout(span);
    layout->addWidget(grdCoverage, 1);
    layout->addLayout(legend);
    layout->addLayout(bottom);

    connect(cmdEarlier, &QPushButton::clicked, this, &frmLogger::cmdEarlier_Click);
    connect(cmdLater, &QPushButton::clicked, this, &frmLogger::cmdLater_Click);
    connect(cmdToday, &QPushButton::clicked, this, &frmLogger::cmdToday_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmLogger::cmdStop_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmLogger::cmdExport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cboDays, &QComboBox::currentIndexChanged, this, [this] { showDays(newest_); });
    connect(tmrRefresh, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    connect(&playback_, &PlaybackSession::stateChanged, this, [this](PlaybackSession::State s) {
        cmdStop->setEnabled(s != PlaybackSession::State::Idle);
        if (s == PlaybackSession::State::Idle)
            lblPlaying->clear();
    });

    // Wide enough for the 24 hours of the grid and a week of days.
    const int gridWidth = 48 * HalfWidth + 90 + 2 * grdCoverage->frameWidth() + 20;
    resize(std::max(gridWidth + 24, sizeHint().width()), 440);
}

void frmLogger::Form_Load()
{
    showDays(today());
    tmrRefresh->start();
}

void frmLogger::Form_Unload(bool& cancel)
{
    Q_UNUSED(cancel);
    tmrRefresh->stop();
    playback_.handle(PlaybackSession::Event::WindowClosing);
}

QDate frmLogger::today() const
{
    return app().clock().now().date();
}

int frmLogger::dayCount() const
{
    return cboDays->currentData().toInt();
}

void frmLogger::showDays(const QDate& newest)
{
    newest_ = std::min(newest, today());
    refresh();
}

void frmLogger::refresh()
{
    coverage_.emplace(reader_.coverage(newest_, dayCount()));
    fillGrid(coverage_->days(newest_, dayCount()));
    showStatus();
    lblSpan->setText(newest_.addDays(1 - dayCount()).toString("yyyy-MM-dd") + QString::fromUtf8(" \u2013 ") +
                     newest_.toString("yyyy-MM-dd"));
    cmdLater->setEnabled(newest_ < today());
}

void frmLogger::fillGrid(const std::vector<logger::CoverageDay>& days)
{
    grdCoverage->clearSpans();
    grdCoverage->clearContents();
    grdCoverage->setRowCount(int(days.size()));
    for (int row = 0; row < int(days.size()); ++row) {
        const logger::CoverageDay& day = days[size_t(row)];
        auto* header = new QTableWidgetItem(dayLabel(day.date));
        if (day.cells.size() != 24)
            header->setToolTip(QString("%1: a day of %2 hours (the clocks %3)")
                                   .arg(day.date.toString("yyyy-MM-dd"))
                                   .arg(day.cells.size())
                                   .arg(day.cells.size() < 24 ? "go forward" : "go back"));
        grdCoverage->setVerticalHeaderItem(row, header);
        std::map<int, std::vector<const logger::CoverageCell*>> byHour;
        for (const logger::CoverageCell& c : day.cells)
            byHour[c.hour].push_back(&c);
        for (int hour = 0; hour < 24; ++hour) {
            const auto found = byHour.find(hour);
            if (found == byHour.end()) {
                auto* none = new QTableWidgetItem;
                none->setFlags(Qt::NoItemFlags);
                none->setBackground(QBrush(QColor("#ffffff"), Qt::BDiagPattern));
                none->setToolTip(QString("%1 %2:00 does not exist (the clocks go forward)")
                                     .arg(day.date.toString("yyyy-MM-dd"))
                                     .arg(hour, 2, 10, QChar('0')));
                grdCoverage->setItem(row, 2 * hour, none);
                grdCoverage->setSpan(row, 2 * hour, 1, 2);
                continue;
            }
            const auto& cells = found->second;
            for (size_t n = 0; n < cells.size() && n < 2; ++n) {
                const logger::CoverageCell& c = *cells[n];
                auto* item = new QTableWidgetItem(c.held ? "H" : "");
                item->setFlags(Qt::ItemIsEnabled);
                item->setTextAlignment(Qt::AlignCenter);
                item->setBackground(QColor(logger::stateColour(c.state)));
                item->setToolTip(c.reason);
                item->setData(StartRole, c.startMs);
                item->setData(EndRole, c.endMs);
                grdCoverage->setItem(row, 2 * hour + int(n), item);
            }
            if (cells.size() == 1)
                grdCoverage->setSpan(row, 2 * hour, 1, 2);
        }
    }
}

void frmLogger::showStatus()
{
    const logger::LoggerStatus s = reader_.status();
    QStringList parts;
    parts << (s.running ? QString("The logger is running (process %1).").arg(s.pid) : QString("The logger is not running."));
    if (!s.database) {
        parts << "There is no logger database on this root (" + QString(logger::LoggerStore::DosPath) + "): nothing "
                 "has been recorded here yet.";
    } else if (!s.open) {
        parts << "Its database cannot be read now: " + s.problem;
    } else {
        if (s.lastSegment) {
            const logger::SegmentRecord& r = *s.lastSegment;
            parts << QString("Last segment: %1, %2 (%3).")
                         .arg(moment(r.startMs), r.result ? logger::resultText(*r.result) : QString("being recorded"),
                              QFileInfo(r.path).fileName());
        } else {
            parts << "No segment yet.";
        }
        if (s.forecast.bytesPerDay > 0)
            parts << QString("The disk holds %1 days of recording; %2 are kept%3.")
                         .arg(s.forecast.capacityDays, 0, 'f', 1)
                         .arg(s.retentionDays)
                         .arg(s.forecast.belowRetention ? ", MORE than the disk holds" : "");
    }
    lblStatus->setText(parts.join(' '));
    lblStatus->setStyleSheet(s.forecast.belowRetention || (s.database && !s.open) ? "QLabel { color: #c62828; }" : "");
}

QTableWidgetItem* frmLogger::cellItem(const QDate& date, int hour, int nth) const
{
    const int row = int(newest_.daysTo(date) * -1);
    if (row < 0 || row >= grdCoverage->rowCount() || hour < 0 || hour > 23 || nth < 0 || nth > 1)
        return nullptr;
    QTableWidgetItem* item = grdCoverage->item(row, 2 * hour + nth);
    return item && item->data(StartRole).isValid() ? item : nullptr;
}

bool frmLogger::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == grdCoverage->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            const QPoint at = mouse->position().toPoint();
            if (QTableWidgetItem* item = grdCoverage->itemAt(at)) {
                const QRect rect = grdCoverage->visualItemRect(item);
                // Where the centre of the clicked pixel lies across the hour.
                const double across = rect.width() > 0 ? (at.x() - rect.left() + 0.5) / rect.width() : 0.0;
                grdCoverage_Click(item, std::clamp(across, 0.0, 1.0));
            }
        }
    }
    return Form::eventFilter(watched, event);
}

void frmLogger::grdCoverage_Click(QTableWidgetItem* item, double across)
{
    if (!item || !item->data(StartRole).isValid())
        return;
    const qint64 start = item->data(StartRole).toLongLong();
    const qint64 end = item->data(EndRole).toLongLong();
    clickedSpan_ = {start, end};
    // The minute the click falls in, from its start.
    const qint64 minutes = std::clamp<qint64>(qint64(across * double(end - start)) / 60000, 0, (end - start - 1) / 60000);
    playAt(start + minutes * 60000, end);
}

void frmLogger::cmdExport_Click()
{
    auto* w = app().windows().show<frmLoggerExport>(WindowName::frmLoggerExport);
    if (w && clickedSpan_)
        w->setSpan(clickedSpan_->first, clickedSpan_->second);
}

bool frmLogger::playAt(qint64 ms, qint64 untilMs)
{
    if (!coverage_)
        return false;
    const auto position = coverage_->positionAt(ms, untilMs);
    if (!position) {
        playback_.handle(PlaybackSession::Event::Stop);
        lblPlaying->setText("Nothing recorded is kept from " + QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm") +
                            " in that hour.");
        return false;
    }
    playback_.applySettings();
    playback_.setFile(position->path, position->frame);
    playback_.handle(PlaybackSession::Event::Play);
    if (playback_.state() != PlaybackSession::State::Playing)
        return false; // the player told why
    const qint64 from = position->segmentStartMs + position->frame * 1000 / position->sampleRate;
    lblPlaying->setText("Playing " + QFileInfo(position->path).fileName() + " from " +
                        QDateTime::fromMSecsSinceEpoch(from).toString("HH:mm:ss"));
    return true;
}

void frmLogger::cmdEarlier_Click()
{
    showDays(newest_.addDays(-dayCount()));
}

void frmLogger::cmdLater_Click()
{
    showDays(newest_.addDays(dayCount()));
}

void frmLogger::cmdToday_Click()
{
    showDays(today());
}

void frmLogger::cmdStop_Click()
{
    playback_.handle(PlaybackSession::Event::Stop);
}

} // namespace tamblor
