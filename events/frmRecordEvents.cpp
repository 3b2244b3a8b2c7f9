#include "events/frmRecordEvents.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "app/PromptService.h"
#include "events/EventText.h"
#include "events/frmEditEvent.h"
#include "events/RunHistory.h"
#include "events/WindowPlacement.h"
#include "audio/jobs/Job.h"
#include "core/ProgramSettings.h"
#include "core/SharedState.h"
#include "core/TimeText.h"
#include "audio/devices/AudioBackend.h"
#include "wavefiles/LibraryPrinter.h"
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include "studio/Studio.h"
#include "platform/Failure.h"
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tamblor::events {

using schedule::RecordEvent;
using schedule::RecordRun;

namespace {

constexpr int IdRole = Qt::UserRole;

QTreeWidget* table(QWidget* parent, const QString& name, const QStringList& headers)
{
    auto* t = controls::named(new QTreeWidget(parent), name);
    t->setColumnCount(headers.size());
    t->setHeaderLabels(headers);
    t->setRootIsDecorated(false);
    t->setUniformRowHeights(true);
    t->setAllColumnsShowFocus(true);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->header()->setStretchLastSection(true);
    return t;
}

std::optional<qint64> idOf(const QTreeWidget* t)
{
    const QTreeWidgetItem* item = t->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    return item->data(0, IdRole).toLongLong();
}

void select(QTreeWidget* t, qint64 id)
{
    for (int i = 0; i < t->topLevelItemCount(); ++i)
        if (t->topLevelItem(i)->data(0, IdRole).toLongLong() == id) {
            t->setCurrentItem(t->topLevelItem(i));
            return;
        }
}

void fitColumns(QTreeWidget* t)
{
    for (int c = 0; c + 1 < t->columnCount(); ++c)
        t->resizeColumnToContents(c);
}

} // namespace

QColor frmRecordEvents::attentionColour()
{
    return QColor(255, 200, 200);
}

QColor frmRecordEvents::notOkTextColour()
{
    return QColor(192, 0, 0);
}

QColor frmRecordEvents::disabledTextColour()
{
    return QColor(128, 128, 128);
}

QColor frmRecordEvents::warningTextColour()
{
    return QColor(176, 96, 0);
}

frmRecordEvents::frmRecordEvents(Application& app, Studio& studio)
    : Form(app, WindowName::frmRecordEvents), studio_(studio)
{
    setWindowTitle("Record Events");

    const FilesMenuBar menus = addFilesMenuBar();
    menuBar = menus.bar;
    connect(menus.exit, &QAction::triggered, this, &frmRecordEvents::mnuExit_Click);
    auto* mnuExport = new QAction("Export Results as CSV", menus.files);
    mnuExport->setObjectName("mnuExport");
    auto* mnuPrint = new QAction("Print Results", menus.files);
    mnuPrint->setObjectName("mnuPrint");
    menus.files->insertAction(menus.exit, mnuExport);
    menus.files->insertAction(menus.exit, mnuPrint);
    menus.files->insertSeparator(menus.exit);
    connect(mnuExport, &QAction::triggered, this, &frmRecordEvents::cmdExport_Click);
    connect(mnuPrint, &QAction::triggered, this, &frmRecordEvents::cmdPrint_Click);

    lblDatabase = controls::label(this, "lblDatabase");
    lblDatabase->setWordWrap(true);
    lblDatabase->setStyleSheet("color: #c00000");
    lblDatabase->setVisible(false);

    lstEvents = table(this, "lstEvents",
                      {"Name", "Days", "Start", "End", "Recorded into", "Input", "After recording", "Enabled",
                       "Next start", "Last result"});
    chkFinished = controls::checkBox(this, "chkFinished", "Show finished");
    chkFinished->setToolTip("Also list the one-shot events whose day has gone");
    cmdNew = controls::button(this, "cmdNew", "New...");
    cmdEdit = controls::button(this, "cmdEdit", "Change...");
    cmdDelete = controls::button(this, "cmdDelete", "Delete");
    cmdEnable = controls::button(this, "cmdEnable", "Disable");
    cmdRecordNow = controls::button(this, "cmdRecordNow", "Record Now");

    lblAttention = controls::label(this, "lblAttention");
    lblAttention->setStyleSheet("color: #c00000; font-weight: bold");
    lstRuns = table(this, "lstRuns",
                    {"Event", "Due", "Started", "Length", "Slot", "Result", "Loudness", "True peak", "Silence", "Peak",
                     "Detail"});
    lstRuns->headerItem()->setToolTip(Started, "The time of the take's first sample, as measured");
    lstRuns->headerItem()->setToolTip(Silence, "The take's longest silence");
    txtRunDetail = controls::named(new QPlainTextEdit(this), "txtRunDetail");
    txtRunDetail->setReadOnly(true);
    txtRunDetail->setFixedHeight(txtRunDetail->fontMetrics().lineSpacing() * 7 + 12);
    txtRunDetail->setPlaceholderText("Choose a result to see all that is known of it.");
    const QString today = dateText(app.clock().now().date(), app.clock().dateSeparator());
    txtFrom = controls::textBox(this, "txtFrom");
    txtTo = controls::textBox(this, "txtTo");
    for (QLineEdit* box : {txtFrom, txtTo}) {
        box->setText(today);
        box->setFixedWidth(box->fontMetrics().horizontalAdvance("00/00/00000") + 16);
    }
    txtFrom->setText(dateText(app.clock().now().date().addDays(-6), app.clock().dateSeparator()));
    cmdExport = controls::button(this, "cmdExport", "Export CSV");
    cmdExport->setToolTip("Writes the results of the period to a CSV file you choose");
    cmdPrint = controls::button(this, "cmdPrint", "Print");
    cmdPrint->setToolTip("Prints the results of the period (to a PDF file you choose when no printer is installed)");
    printJob_ = new jobs::Job(this);
    connect(printJob_, &jobs::Job::finished, this, &frmRecordEvents::printEnded);
    cmdSeen = controls::button(this, "cmdSeen", "Seen");
    cmdAllSeen = controls::button(this, "cmdAllSeen", "All Seen");
    cmdPlay = controls::button(this, "cmdPlay", "Play");

    Timer1 = controls::named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frmRecordEvents::Timer1_Timer);

    auto* eventButtons = new QVBoxLayout;
    for (QPushButton* b : {cmdNew, cmdEdit, cmdDelete, cmdEnable})
        eventButtons->addWidget(b);
    eventButtons->addSpacing(12);
    eventButtons->addWidget(cmdRecordNow);
    eventButtons->addStretch();
    auto* runButtons = new QVBoxLayout;
    for (QPushButton* b : {cmdSeen, cmdAllSeen, cmdPlay})
        runButtons->addWidget(b);
    runButtons->addStretch();

    auto* history = new QHBoxLayout;
    history->addWidget(controls::label(this, "lblFrom", "Results from"));
    history->addWidget(txtFrom);
    history->addWidget(controls::label(this, "lblTo", "to"));
    history->addWidget(txtTo);
    history->addWidget(cmdExport);
    history->addWidget(cmdPrint);
    history->addStretch();

    auto* eventsTitle = new QHBoxLayout;
    eventsTitle->addWidget(controls::label(this, "lblEvents", "Events"));
    eventsTitle->addStretch();
    eventsTitle->addWidget(chkFinished);
    auto* grid = new QGridLayout;
    grid->addLayout(eventsTitle, 0, 0);
    grid->addWidget(lstEvents, 1, 0);
    grid->addLayout(eventButtons, 1, 1);
    auto* resultsTitle = new QHBoxLayout;
    resultsTitle->addWidget(controls::label(this, "lblRuns", "Results"));
    resultsTitle->addWidget(lblAttention, 1);
    grid->addLayout(resultsTitle, 2, 0);
    grid->addWidget(lstRuns, 3, 0);
    grid->addLayout(runButtons, 3, 1);
    grid->addWidget(txtRunDetail, 4, 0);
    grid->addLayout(history, 5, 0);
    grid->setRowStretch(1, 2);
    grid->setRowStretch(3, 3);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addWidget(lblDatabase);
    layout->addLayout(grid);
    resize(1000, 640);

    connect(cmdNew, &QPushButton::clicked, this, &frmRecordEvents::cmdNew_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmRecordEvents::cmdEdit_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmRecordEvents::cmdDelete_Click);
    connect(cmdEnable, &QPushButton::clicked, this, &frmRecordEvents::cmdEnable_Click);
    connect(cmdRecordNow, &QPushButton::clicked, this, &frmRecordEvents::cmdRecordNow_Click);
    connect(cmdSeen, &QPushButton::clicked, this, &frmRecordEvents::cmdSeen_Click);
    connect(cmdAllSeen, &QPushButton::clicked, this, &frmRecordEvents::cmdAllSeen_Click);
    connect(cmdPlay, &QPushButton::clicked, this, &frmRecordEvents::cmdPlay_Click);
    connect(lstEvents, &QTreeWidget::itemSelectionChanged, this, &frmRecordEvents::followSelection);
    connect(lstRuns, &QTreeWidget::itemSelectionChanged, this, &frmRecordEvents::followSelection);
    connect(lstEvents, &QTreeWidget::itemDoubleClicked, this, &frmRecordEvents::cmdEdit_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmRecordEvents::cmdExport_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmRecordEvents::cmdPrint_Click);
    connect(chkFinished, &QCheckBox::clicked, this, &frmRecordEvents::chkFinished_Click);

    // A take of an event begun or ended: Record Now follows.
    connect(&studio.scheduler(), &Scheduler::changed, this, &frmRecordEvents::followSelection);
    connect(&studio.events(), &schedule::EventStore::eventChanged, this, &frmRecordEvents::LoadEvents);
    connect(&studio.events(), &schedule::EventStore::eventRemoved, this, &frmRecordEvents::LoadEvents);
    // A run's result is also its event's last result.
    connect(&studio.runs(), &schedule::RunStore::runChanged, this, [this] {
        LoadRuns();
        LoadEvents();
    });
}

void frmRecordEvents::Form_Load()
{
    placeBesideMenu();
    const bool open = studio_.database().isOpen();
    lblDatabase->setVisible(!open);
    if (!open)
        lblDatabase->setText("The record events are not available: the program's database did not open ("
                             + QString::fromUtf8(store::ProgramDatabase::DosPath) + ").");
    cmdNew->setEnabled(open);
    LoadEvents();
    // The first event is the one the buttons work on until another is chosen: a list that
    // shows a current row whose buttons are off would wait for a click that looks needless.
    if (lstEvents->topLevelItemCount() > 0)
        lstEvents->setCurrentItem(lstEvents->topLevelItem(0));
    LoadRuns();
    Timer1->start();
}

void frmRecordEvents::LoadEvents()
{
    const std::optional<qint64> keep = selectedEvent();
    const qint64 nowMs = app().clock().now().toMSecsSinceEpoch();
    const QLocale& locale = app().clock().locale();
    const QString sep = app().clock().dateSeparator();
    const SharedState& st = app().state();
    audio::AudioBackend& cards = app().audio();
    const InputDefaults defaults{st.RecordDevice >= 0 && st.RecordDevice < cards.inputDeviceCount()
                                     ? cards.inputDeviceName(st.RecordDevice)
                                     : QString(),
                                 st.FormatIndex, st.ChannelMode};
    lstEvents->clear();
    shown_ = studio_.events().all();
    if (!chkFinished->isChecked())
        std::erase_if(shown_, [nowMs](const RecordEvent& e) { return isFinished(e, nowMs); });
    for (const RecordEvent& e : shown_) {
        auto* item = new QTreeWidgetItem(lstEvents);
        item->setData(0, IdRole, e.id);
        item->setText(Name, e.name);
        item->setText(Days, daysText(e, locale, sep));
        item->setText(Start, timeOfDayText(e.start));
        item->setText(End, endText(e));
        item->setText(Destination, destinationText(e));
        item->setText(Input, inputText(e, defaults, locale));
        item->setToolTip(Input, item->text(Input));
        item->setText(After, afterText(e));
        item->setText(Enabled, e.enabled ? "Yes" : "No");
        item->setText(NextStart, nextStartText(e, nowMs, sep));
        if (!e.enabled)
            for (int c = 0; c < LastResult; ++c)
                item->setForeground(c, disabledTextColour());
        if (const QString warning = qualityWarning(e, defaults); !warning.isEmpty()) {
            item->setText(Input, item->text(Input) + " - " + warning + "!");
            item->setToolTip(Input, "The takes of this event would be " + warning + ": telephone quality.");
            item->setForeground(Input, warningTextColour());
        }
        if (const auto last = studio_.runs().last(e.id)) {
            item->setText(LastResult, runResultText(*last));
            if (last->result && *last->result != schedule::RunResult::OK)
                item->setForeground(LastResult, notOkTextColour());
        }
    }
    fitColumns(lstEvents);
    if (keep)
        select(lstEvents, *keep);
    followSelection();
}

void frmRecordEvents::fillRun(QTreeWidgetItem* item, const RecordRun& run)
{
    const QString sep = app().clock().dateSeparator();
    const double alarm = alarmSeconds();
    item->setData(0, IdRole, run.id);
    item->setText(RunEvent, run.eventName);
    item->setText(Due, dayAndTimeText(run.scheduledStartMs, sep));
    item->setText(Started, startedText(run));
    item->setText(Length, runLengthText(run));
    item->setText(Slot, run.slot > 0 ? QString::number(run.slot) : QString());
    item->setText(Result, runResultText(run));
    item->setText(Loudness, lufsText(run.integratedLufs()));
    item->setText(TruePeak, dbtpText(run.truePeakDbtp()));
    item->setText(Silence, silenceText(run.longestSilenceS()));
    item->setText(Peak, run.peakDbfs() ? peakText(*run.peakDbfs()) : QString());
    item->setText(Detail, run.detail);
    const QString whole = runDetailText(run, alarm, sep);
    for (int c = 0; c < RunColumns; ++c)
        item->setToolTip(c, whole);
    if (const QString warning = runWarning(run, alarm); !warning.isEmpty()) {
        item->setText(Result, "OK - " + warning);
        for (int c : {int(Result), int(Silence)}) {
            item->setForeground(c, warningTextColour());
            QFont bold = item->font(c);
            bold.setBold(true);
            item->setFont(c, bold);
        }
    }
    if (run.result && *run.result != schedule::RunResult::OK) {
        item->setForeground(Result, notOkTextColour());
        QFont bold = item->font(Result);
        bold.setBold(true);
        item->setFont(Result, bold);
    }
    if (run.needsAttention())
        for (int c = 0; c < RunColumns; ++c)
            item->setBackground(c, attentionColour());
}

void frmRecordEvents::LoadRuns()
{
    const std::optional<qint64> keep = selectedRun();
    lstRuns->clear();
    int waiting = 0;
    for (const RecordRun& run : studio_.runs().list()) {
        fillRun(new QTreeWidgetItem(lstRuns), run);
        waiting += run.needsAttention() ? 1 : 0;
    }
    fitColumns(lstRuns);
    lblAttention->setText(waiting == 0   ? QString()
                          : waiting == 1 ? QString("1 result needs your attention")
                                         : QString("%1 results need your attention").arg(waiting));
    if (keep)
        select(lstRuns, *keep);
    followSelection();
}

void frmRecordEvents::Timer1_Timer()
{
    const qint64 nowMs = app().clock().now().toMSecsSinceEpoch();
    for (int i = 0; i < lstEvents->topLevelItemCount() && size_t(i) < shown_.size(); ++i)
        lstEvents->topLevelItem(i)->setText(NextStart, nextStartText(shown_[size_t(i)], nowMs, app().clock().dateSeparator()));
    const bool playing = studio_.playback().isPlaying();
    cmdPlay->setText(playing ? "Stop" : "Play");
}

std::optional<qint64> frmRecordEvents::selectedEvent() const
{
    return idOf(lstEvents);
}

std::optional<qint64> frmRecordEvents::selectedRun() const
{
    return idOf(lstRuns);
}

void frmRecordEvents::selectEvent(qint64 id)
{
    select(lstEvents, id);
}

void frmRecordEvents::selectRun(qint64 id)
{
    select(lstRuns, id);
}

void frmRecordEvents::followSelection()
{
    const std::optional<qint64> event = selectedEvent();
    cmdEdit->setEnabled(event.has_value());
    cmdDelete->setEnabled(event.has_value());
    cmdEnable->setEnabled(event.has_value());
    const std::optional<RecordEvent> e = event ? studio_.events().find(*event) : std::nullopt;
    cmdEnable->setText(e && !e->enabled ? "Enable" : "Disable");
    // One take at a time: not while an event records (a take by hand is told by the scheduler).
    cmdRecordNow->setEnabled(e.has_value() && !studio_.scheduler().recording());

    const std::optional<qint64> runId = selectedRun();
    const std::optional<RecordRun> run = runId ? studio_.runs().find(*runId) : std::nullopt;
    const QString detail = run ? runDetailText(*run, alarmSeconds(), app().clock().dateSeparator()) : QString();
    if (txtRunDetail->toPlainText() != detail)
        txtRunDetail->setPlainText(detail);
    cmdSeen->setEnabled(run && run->needsAttention());
    cmdAllSeen->setEnabled(!lblAttention->text().isEmpty());
    const bool playing = studio_.playback().isPlaying();
    cmdPlay->setText(playing ? "Stop" : "Play");
    cmdPlay->setEnabled(playing || (run && run->slot > 0 && run->lengthFrames > 0));
}

void frmRecordEvents::cmdNew_Click()
{
    if (auto* editor = app().windows().show<frmEditEvent>(WindowName::frmEditEvent))
        editor->editEvent(0);
}

void frmRecordEvents::cmdEdit_Click()
{
    const std::optional<qint64> id = selectedEvent();
    if (!id)
        return;
    if (auto* editor = app().windows().show<frmEditEvent>(WindowName::frmEditEvent))
        editor->editEvent(*id);
}

void frmRecordEvents::cmdDelete_Click()
{
    const std::optional<qint64> id = selectedEvent();
    const std::optional<RecordEvent> e = id ? studio_.events().find(*id) : std::nullopt;
    if (!e)
        return;
    const QString question = QString("Delete the event \"%1\"? Its results stay in the list.").arg(e->name);
    if (app().prompts().message(this, "Record Events", question, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::Question)
        != QMessageBox::Yes)
        return;
    try {
        studio_.events().remove(e->id);
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

void frmRecordEvents::cmdEnable_Click()
{
    const std::optional<qint64> id = selectedEvent();
    const std::optional<RecordEvent> e = id ? studio_.events().find(*id) : std::nullopt;
    if (!e)
        return;
    try {
        studio_.events().setEnabled(e->id, !e->enabled);
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

void frmRecordEvents::cmdRecordNow_Click()
{
    // The scheduler says itself why it cannot (the input is taken).
    if (const std::optional<qint64> id = selectedEvent())
        studio_.scheduler().recordNow(*id);
    followSelection();
}

void frmRecordEvents::cmdSeen_Click()
{
    if (const std::optional<qint64> id = selectedRun())
        studio_.runs().markSeen(*id);
}

void frmRecordEvents::cmdAllSeen_Click()
{
    studio_.runs().markAllSeen();
}

void frmRecordEvents::cmdPlay_Click()
{
    PlaybackSession& playback = studio_.playback();
    if (playback.isPlaying()) {
        playback.handle(PlaybackSession::Event::Stop);
    } else {
        const std::optional<qint64> id = selectedRun();
        const std::optional<RecordRun> run = id ? studio_.runs().find(*id) : std::nullopt;
        if (!run || run->slot <= 0)
            return;
        const QString file = studio_.library().slotFileNative(run->slot);
        if (!QFile::exists(file)) {
            app().showMessage(QString("The take of \"%1\" is no longer in slot %2.").arg(run->eventName).arg(run->slot));
            return;
        }
        playback.setFile(file);
        playback.handle(PlaybackSession::Event::Play);
    }
    followSelection();
}

double frmRecordEvents::alarmSeconds() const
{
    try {
        return ProgramSettings(app().drives()).loudness().silenceSeconds;
    } catch (const Failure&) {
        return LoudnessPreferences().silenceSeconds;
    }
}

void frmRecordEvents::chkFinished_Click()
{
    LoadEvents();
}

std::optional<std::pair<qint64, qint64>> frmRecordEvents::period()
{
    const QString sep = app().clock().dateSeparator();
    const QDate from = dateFromText(txtFrom->text(), sep);
    const QDate to = dateFromText(txtTo->text(), sep);
    if (!from.isValid() || !to.isValid()) {
        app().showMessage(QString("Type the period's days as month%1day%1year: %2.")
                              .arg(sep, dateText(app().clock().now().date(), sep)));
        return std::nullopt;
    }
    if (to < from) {
        app().showMessage("The period ends before it begins: type the earlier day first.");
        return std::nullopt;
    }
    return std::pair{QDateTime(from, QTime(0, 0)).toMSecsSinceEpoch(),
                     QDateTime(to.addDays(1), QTime(0, 0)).toMSecsSinceEpoch()};
}

QString frmRecordEvents::chooseFile(const QString& title, const QString& offered, const QString& filter)
{
    const QString chosen = app().prompts().saveFileName(this, title, offered, filter);
    if (chosen.isEmpty())
        return {};
    QDir().mkpath(QFileInfo(chosen).absolutePath()); // the offered folder may not exist yet
    return chosen;
}

QString frmRecordEvents::shownPath(const QString& nativePath) const
{
    const QString dos = app().drives().toDos(nativePath);
    return dos.isEmpty() ? QDir::toNativeSeparators(nativePath) : dos;
}

void frmRecordEvents::cmdExport_Click()
{
    const auto p = period();
    if (!p)
        return;
    if (csvPath_.isEmpty())
        csvPath_ = app().drives().toNative(QString::fromUtf8(CsvDosPath));
    const QString file = chooseFile("Export Results as CSV", csvPath_, "CSV files (*.csv);;All files (*)");
    if (file.isEmpty())
        return;
    csvPath_ = file;
    const std::vector<RecordRun> runs = studio_.runs().between(p->first, p->second);
    const QString shown = shownPath(file);
    try {
        writeRunsCsv(file, runsCsv(runs, alarmSeconds()));
    } catch (const Failure& f) {
        app().showMessage("The results could not be written to " + shown + ": " + f.text());
        return;
    }
    app().showMessage(QString("%1 from %2 to %3 %4 written to %5.")
                          .arg(runs.size() == 1 ? QString("1 result") : QString("%1 results").arg(runs.size()))
                          .arg(txtFrom->text().trimmed(), txtTo->text().trimmed(), runs.size() == 1 ? "was" : "were", shown));
}

void frmRecordEvents::cmdPrint_Click()
{
    if (printJob_->isRunning()) {
        app().showMessage("The results are being printed. Wait until they have been printed.");
        return;
    }
    const auto p = period();
    if (!p)
        return;
    // With no printer the printout is a PDF file, which the operator places.
    QString pdf;
    if (LibraryPrinter::usesPdf()) {
        if (pdfPath_.isEmpty())
            pdfPath_ = app().drives().toNative(QString::fromUtf8(PdfDosPath));
        pdf = chooseFile("Print Results to a PDF File", pdfPath_, "PDF files (*.pdf);;All files (*)");
        if (pdf.isEmpty())
            return;
        pdfPath_ = pdf;
    }
    printingTo_ = pdf;
    const QString sep = app().clock().dateSeparator();
    const QStringList lines =
        printedRunLines(studio_.runs().between(p->first, p->second), alarmSeconds(),
                        "from " + txtFrom->text().trimmed() + " to " + txtTo->text().trimmed(), sep);
    // (A printer gone since the question prints to the offered file.)
    const QString fallback = pdf.isEmpty() ? app().drives().toNative(QString::fromUtf8(PdfDosPath)) : pdf;
    printJob_->start([fallback, lines](jobs::JobControl& job) {
        LibraryPrinter printer(fallback);
        printer.print(lines, [&job](int percent) {
            job.progress(percent);
            return !job.cancelled();
        });
    });
}

void frmRecordEvents::printEnded()
{
    const QString pdf = printingTo_.isEmpty() ? QString() : shownPath(printingTo_);
    if (const auto& failure = printJob_->failure()) {
        app().showMessage(jobs::failureText(*failure, pdf));
        return;
    }
    if (!printJob_->wasCancelled() && !pdf.isEmpty())
        app().showMessage("No printer is installed. The results were printed to " + pdf);
}

void frmRecordEvents::placeBesideMenu()
{
    const QWidget* menu = app().windows().find(WindowName::mnuMenu);
    const QScreen* screen = menu ? menu->screen() : this->screen();
    if (!menu || !menu->isVisible() || !screen)
        return;
    // The frame the window manager adds, as the main menu has it (none before it is framed).
    const QRect outer = menu->frameGeometry();
    const QRect inner = menu->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    const QRect placed = placeBeside(outer, size(), minimumSizeHint(), screen->availableGeometry(), frame);
    setGeometry(placed);
}

void frmRecordEvents::mnuExit_Click()
{
    close();
}

} // namespace tamblor::events
