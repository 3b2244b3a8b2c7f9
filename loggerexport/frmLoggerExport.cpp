#include "loggerexport/frmLoggerExport.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "app/PromptService.h"
#include "audio/jobs/Job.h"
#include "audio/widgets/Gauge.h"
#include "browse/DriveList.h"
#include "browse/FolderList.h"
#include "core/TimeText.h"
#include "logger/LoggerStore.h"
#include "logger/SegmentTimes.h"
#include "logger/SpanExport.h"
#include "platform/Failure.h"
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tamblor {

namespace {

constexpr const char* TimeFormats[] = {"H:mm:ss", "H:mm", "H:mm:ss.zzz"};

QLineEdit* box(QWidget* parent, const QString& name, const QString& sample)
{
    QLineEdit* b = controls::textBox(parent, name);
    b->setMinimumWidth(b->fontMetrics().horizontalAdvance(sample) + 24);
    b->setMaximumWidth(b->fontMetrics().horizontalAdvance(sample) * 2 + 24);
    return b;
}

} // namespace

frmLoggerExport::frmLoggerExport(Application& app, std::optional<qint64> startMs, std::optional<qint64> endMs)
    : Form(app, WindowName::frmLoggerExport)
{
    setWindowTitle("Export from the logger");
    const FilesMenuBar menus = addFilesMenuBar();
    connect(menus.exit, &QAction::triggered, this, &QWidget::close);

    auto* span = controls::frame(this, "fraSpan", "Span (local time)");
    txtStartDate = box(span, "txtStartDate", "12/31/2026");
    txtStartTime = box(span, "txtStartTime", "23:59:59");
    txtEndDate = box(span, "txtEndDate", "12/31/2026");
    txtEndTime = box(span, "txtEndTime", "23:59:59");
    const QString dateHint = "The date as the main menu writes it (" + dateText(QDate(2026, 12, 7), app.clock().dateSeparator()) + ")";
    for (QLineEdit* d : {txtStartDate, txtEndDate})
        d->setToolTip(dateHint);
    for (QLineEdit* t : {txtStartTime, txtEndTime})
        t->setToolTip("The time of day: 17:00 or 17:00:00");
    cboStartPass = controls::named(new QComboBox(span), "cboStartPass");
    cboEndPass = controls::named(new QComboBox(span), "cboEndPass");
    start_ = {txtStartDate, txtStartTime, cboStartPass};
    end_ = {txtEndDate, txtEndTime, cboEndPass};
    for (const LocalBoxes* b : {&start_, &end_}) {
        b->pass->setToolTip("The clocks go back this night: the time comes twice");
        b->pass->setVisible(false);
        const auto follow = [this, b] { showPass(*b); };
        connect(b->date, &QLineEdit::textChanged, this, follow);
        connect(b->time, &QLineEdit::textChanged, this, follow);
    }
    auto* spanGrid = new QGridLayout(span);
    spanGrid->addWidget(controls::label(span, "lblStart", "Start"), 0, 0);
    spanGrid->addWidget(txtStartDate, 0, 1);
    spanGrid->addWidget(txtStartTime, 0, 2);
    spanGrid->addWidget(cboStartPass, 0, 3);
    spanGrid->addWidget(controls::label(span, "lblEnd", "End"), 1, 0);
    spanGrid->addWidget(txtEndDate, 1, 1);
    spanGrid->addWidget(txtEndTime, 1, 2);
    spanGrid->addWidget(cboEndPass, 1, 3);
    spanGrid->setColumnStretch(4, 1);

    auto* target = controls::frame(this, "fraTarget", "Save as");
    Drive1 = controls::named(new DriveList(app.drives(), target), "Drive1");
    Drive1->setRefreshOnOpen(true);
    Dir1 = controls::named(new FolderList(app.drives(), target), "Dir1");
    Dir1->setMissingDriveUnavailable(true);
    Dir1->setMinimumHeight(Dir1->fontMetrics().lineSpacing() * 6);
    Dir1->setMaximumHeight(Dir1->fontMetrics().lineSpacing() * 12);
    txtFile = controls::textBox(target, "txtFile");
    txtFile->setText("Logger export.wav");
    auto* targetLayout = new QVBoxLayout(target);
    targetLayout->addWidget(Drive1);
    targetLayout->addWidget(Dir1, 1);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(controls::label(target, "lblFile", "File name"));
    nameRow->addWidget(txtFile, 1);
    targetLayout->addLayout(nameRow);
    connect(Drive1, &DriveList::driveChanged, this, [this] {
        try {
            Dir1->setPath(Drive1->drive() + "\\");
        } catch (const Failure& f) {
            this->app().showMessage(QString::number(f.number()) + " " + f.description());
        }
    });
    connect(Dir1, &FolderList::pathFailed, this, [this](int number, const QString& description) {
        this->app().showMessage(QString::number(number) + " " + description);
    });
    try {
        Drive1->setDrive("c");
        Dir1->setPath("c:\\Tamblor");
    } catch (const Failure&) {
        Dir1->setPath("c:\\");
    }

    Gauge = controls::named(new audio::Gauge(this), "Gauge");
    Gauge->setCaption("Export ");
    QSizePolicy keepPlace = Gauge->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    Gauge->setSizePolicy(keepPlace);
    Gauge->setVisible(false);

    txtResult = controls::named(new QPlainTextEdit(this), "txtResult");
    txtResult->setReadOnly(true);
    txtResult->setMinimumHeight(txtResult->fontMetrics().lineSpacing() * 5 + 8);
    txtResult->setMaximumHeight(txtResult->fontMetrics().lineSpacing() * 10 + 8);
    txtResult->setMinimumWidth(txtResult->fontMetrics().horizontalAdvance('x') * 60);

    cmdExport = controls::button(this, "cmdExport", "Export");
    cmdExport->setDefault(true);
    connect(cmdExport, &QPushButton::clicked, this, &frmLoggerExport::cmdExport_Click);
    cmdCancel = controls::button(this, "cmdCancel", "Cancel");
    connect(cmdCancel, &QPushButton::clicked, this, &frmLoggerExport::cmdCancel_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdCancel);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus.bar);
    layout->addWidget(span);
    layout->addWidget(target, 1);
    layout->addWidget(Gauge);
    layout->addWidget(txtResult);
    layout->addLayout(buttons);
    layout->setContentsMargins(12, 12, 12, 12);

    if (startMs && endMs) {
        setSpan(*startMs, *endMs);
    } else {
        // The last whole hour.
        const QDateTime now = app.clock().now().toLocalTime();
        const QDateTime hour(now.date(), QTime(now.time().hour(), 0));
        setSpan(hour.addSecs(-3600).toMSecsSinceEpoch(), hour.toMSecsSinceEpoch());
    }

    job_ = new jobs::Job(this);
    connect(job_, &jobs::Job::progressed, this, [this](int percent, int) {
        Gauge->setValue(percent);
        Gauge->repaint();
    });
    connect(job_, &jobs::Job::finished, this, &frmLoggerExport::exportEnded);
}

frmLoggerExport::~frmLoggerExport() = default;

void frmLoggerExport::setSpan(qint64 startMs, qint64 endMs)
{
    put(startMs, start_);
    put(endMs, end_);
}

void frmLoggerExport::put(qint64 ms, const LocalBoxes& boxes)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    boxes.date->setText(dateText(t.date(), app().clock().dateSeparator()));
    boxes.time->setText(t.time().toString(t.time().msec() ? "HH:mm:ss.zzz" : "HH:mm:ss"));
    // The boxes show the pass as they read: the second when the instant is the later of two.
    const std::vector<qint64> instants = instantsOf(boxes);
    boxes.pass->setCurrentIndex(instants.size() == 2 && ms == instants[1] ? 1 : 0);
}

void frmLoggerExport::showPass(const LocalBoxes& boxes)
{
    const std::vector<qint64> instants = instantsOf(boxes);
    const bool twice = instants.size() == 2;
    if (twice) {
        // Named by the zone's own abbreviations ("BST", "GMT"), else by the offsets.
        const auto zone = [](qint64 ms) {
            const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
            const QString name = t.timeZoneAbbreviation();
            const QString offset = logger::SegmentTimes::offsetText(t.offsetFromUtc());
            return name.isEmpty() || !name.at(0).isLetter() ? offset : name;
        };
        const QStringList texts{"first (" + zone(instants[0]) + ")", "second (" + zone(instants[1]) + ")"};
        const int index = std::max(0, boxes.pass->currentIndex());
        if (boxes.pass->count() != 2 || boxes.pass->itemText(0) != texts[0] || boxes.pass->itemText(1) != texts[1]) {
            boxes.pass->clear();
            boxes.pass->addItems(texts);
        }
        boxes.pass->setCurrentIndex(index);
    }
    boxes.pass->setVisible(twice);
}

std::vector<qint64> frmLoggerExport::instantsOf(const LocalBoxes& boxes) const
{
    const QDate d = dateFromText(boxes.date->text().trimmed(), app().clock().dateSeparator());
    QTime t;
    for (const char* format : TimeFormats) {
        t = QTime::fromString(boxes.time->text().trimmed(), format);
        if (t.isValid())
            break;
    }
    return logger::SegmentTimes::instantsOf(d, t);
}

std::optional<qint64> frmLoggerExport::msOf(const LocalBoxes& boxes) const
{
    const std::vector<qint64> instants = instantsOf(boxes);
    if (instants.empty())
        return std::nullopt; // not a date and a time, or a time the clocks skip
    return instants.size() == 2 && boxes.pass->currentIndex() == 1 ? instants[1] : instants[0];
}

std::optional<qint64> frmLoggerExport::startMs() const { return msOf(start_); }
std::optional<qint64> frmLoggerExport::endMs() const { return msOf(end_); }

QString frmLoggerExport::targetPath() const
{
    QString name = txtFile->text().trimmed();
    if (!name.isEmpty() && QFileInfo(name).suffix().compare("wav", Qt::CaseInsensitive) != 0)
        name += ".wav";
    QString folder = Dir1->path();
    if (!folder.endsWith('\\'))
        folder += '\\';
    return app().drives().toNative(folder + name);
}

void frmLoggerExport::setWorking(bool working)
{
    working_ = working;
    for (QWidget* w : std::initializer_list<QWidget*>{txtStartDate, txtStartTime, cboStartPass, txtEndDate, txtEndTime,
                                                      cboEndPass, Drive1, Dir1, txtFile, cmdExport})
        w->setEnabled(!working);
    Gauge->setVisible(working);
    if (working)
        Gauge->setValue(0);
}

void frmLoggerExport::cmdExport_Click()
{
    if (working_)
        return;
    const std::optional<qint64> start = startMs(), end = endMs();
    if (!start || !end) {
        txtResult->setPlainText(QString("The %1 is not a date and a time of day (%2, 17:00:00).")
                                    .arg(!start ? "start" : "end", dateText(QDate(2026, 12, 7), app().clock().dateSeparator())));
        return;
    }
    if (*end <= *start) {
        txtResult->setPlainText("The end must come after the start.");
        return;
    }
    if (txtFile->text().trimmed().isEmpty()) {
        txtResult->setPlainText("Give the file a name.");
        return;
    }
    const QString target = targetPath();
    if (QFileInfo::exists(target)) {
        QPointer<frmLoggerExport> self(this);
        const auto answer = app().prompts().message(this, "Export from the logger",
                                                    app().drives().toDos(target) + " is there already. Replace it?",
                                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Question);
        if (!self || answer != QMessageBox::Yes)
            return;
    }
    const QString database = app().drives().toNative(logger::LoggerStore::DosPath);
    txtResult->setPlainText("Exporting " + logger::exportTimeText(*start) + " to " + logger::exportTimeText(*end) + " ...");
    closeRequested_ = false;
    setWorking(true);
    running_ = std::make_shared<logger::ExportResult>();
    job_->start([database, target, s = *start, e = *end, out = running_](jobs::JobControl& job) {
        logger::LoggerStore::SpanRows rows = logger::LoggerStore::readSpan(database, s, e);
        *out = logger::SpanExport(std::move(rows.segments), std::move(rows.gaps))
                   .exportTo(target, s, e, [&job](qint64 done, qint64 total) {
                       job.progress(total > 0 ? int(done * 100 / total) : 0);
                       return !job.cancelled();
                   });
    });
}

void frmLoggerExport::exportEnded()
{
    setWorking(false);
    if (const auto& failure = job_->failure()) {
        running_->status = logger::ExportResult::Status::Failed;
        running_->problem = QString::number(failure->number()) + " " + failure->description();
    } else if (job_->wasCancelled() && running_->status != logger::ExportResult::Status::Done) {
        running_->status = logger::ExportResult::Status::Cancelled;
    }
    result_ = running_;
    const QString text = result_->summary();
    txtResult->setPlainText(text);
    if (result_->status == logger::ExportResult::Status::Failed && !closeRequested_)
        app().showMessage(text);
    if (closeRequested_)
        close();
}

void frmLoggerExport::cmdCancel_Click()
{
    if (working_)
        job_->cancel();
    else
        close();
}

void frmLoggerExport::Form_Unload(bool& cancel)
{
    // Closed while exporting: the export stops (no file is left) and the window closes after.
    if (working_) {
        closeRequested_ = true;
        job_->cancel();
        cancel = true;
    }
}

} // namespace tamblor
