#include "events/frmEditEvent.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "events/EventCheck.h"
#include "events/EventText.h"
#include "studio/Studio.h"
#include "platform/Failure.h"
#include "schedule/EventTiming.h"
#include "schedule/NameTemplate.h"
#include "core/TimeText.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

namespace tamblor::events {

using schedule::RecordEvent;

namespace {

// A text box as wide as `sample` needs.
QLineEdit* shortBox(QWidget* parent, const QString& name, const QString& sample)
{
    QLineEdit* box = controls::textBox(parent, name);
    box->setMaximumWidth(box->fontMetrics().horizontalAdvance(sample) + 16);
    box->setMinimumWidth(box->maximumWidth());
    return box;
}

// "17:00", "17:00:30", "6:10"; an invalid time when it is none.
QTime timeOfDay(const QString& text)
{
    const QString t = text.trimmed();
    for (const char* format : {"H:mm:ss", "H:mm"}) {
        const QTime time = QTime::fromString(t, format);
        if (time.isValid())
            return time;
    }
    return {};
}

// A number that is the whole text (blanks around it aside).
std::optional<double> number(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString numberText(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

frmEditEvent::frmEditEvent(Application& app, Studio& studio) : Form(app, WindowName::frmEditEvent), studio_(studio)
{
    setWindowTitle("Record Event");

    txtName = controls::textBox(this, "txtName");
    txtStart = shortBox(this, "txtStart", "00:00:00");

    auto* when = controls::frame(this, "fraWhen", "When");
    optWhen[0] = controls::option(when, "optWhen_0", "Every week on");
    optWhen[1] = controls::option(when, "optWhen_1", "Once, on");
    const QLocale& locale = app.clock().locale();
    for (int d = 0; d < 7; ++d)
        chkDay[d] = controls::checkBox(when, QString("chkDay_%1").arg(d), locale.dayName(d + 1, QLocale::ShortFormat));
    txtDate = shortBox(when, "txtDate", "00.00.00000");
    auto* whenLayout = new QGridLayout(when);
    whenLayout->addWidget(optWhen[0], 0, 0);
    auto* days = new QHBoxLayout;
    for (QCheckBox* c : chkDay)
        days->addWidget(c);
    days->addStretch();
    whenLayout->addLayout(days, 0, 1);
    whenLayout->addWidget(optWhen[1], 1, 0);
    whenLayout->addWidget(txtDate, 1, 1, Qt::AlignLeft);

    auto* end = controls::frame(this, "fraEnd", "End");
    optEnd[0] = controls::option(end, "optEnd_0", "Length");
    optEnd[1] = controls::option(end, "optEnd_1", "At");
    txtLength = shortBox(end, "txtLength", "00:00:00");
    txtEnd = shortBox(end, "txtEnd", "00:00:00");
    auto* endLayout = new QGridLayout(end);
    endLayout->addWidget(optEnd[0], 0, 0);
    endLayout->addWidget(txtLength, 0, 1);
    endLayout->addWidget(controls::label(end, "lblLength", "hours:minutes:seconds"), 0, 2);
    endLayout->addWidget(optEnd[1], 1, 0);
    endLayout->addWidget(txtEnd, 1, 1);
    endLayout->addWidget(controls::label(end, "lblNextDay", "(an end earlier than the start is on the next day)"), 1, 2);
    endLayout->setColumnStretch(3, 1);

    auto* slot = controls::frame(this, "fraSlot", "Recorded into");
    optSlot[0] = controls::option(slot, "optSlot_0", "The first free slot, named");
    optSlot[1] = controls::option(slot, "optSlot_1", "Always slot");
    txtTemplate = controls::textBox(slot, "txtTemplate");
    txtTemplate->setToolTip("{name} the event's name, {date} the day (07.12), {time} the start (17:00)");
    lblExample = controls::label(slot, "lblExample");
    txtSlot = shortBox(slot, "txtSlot", "00000");
    auto* slotLayout = new QGridLayout(slot);
    slotLayout->addWidget(optSlot[0], 0, 0);
    slotLayout->addWidget(txtTemplate, 0, 1);
    slotLayout->addWidget(lblExample, 1, 1);
    slotLayout->addWidget(optSlot[1], 2, 0);
    slotLayout->addWidget(txtSlot, 2, 1, Qt::AlignLeft);
    auto* replaceNote = controls::label(slot, "lblReplace", "(the old take stays until the new one is complete and OK)");
    slotLayout->addWidget(replaceNote, 3, 1);

    auto* after = controls::frame(this, "fraAfter", "After recording");
    cboAfter = controls::named(new QComboBox(after), "cboAfter");
    cboAfter->addItems({"Nothing", "Peak normalize", "Loudness normalize"});
    txtPeak = shortBox(after, "txtPeak", "-000.0");
    txtTarget = shortBox(after, "txtTarget", "-000.0");
    txtCeiling = shortBox(after, "txtCeiling", "-000.0");
    auto* afterLayout = new QHBoxLayout(after);
    afterLayout->addWidget(cboAfter);
    afterLayout->addSpacing(8);
    afterLayout->addWidget(controls::label(after, "lblPeak", "Peak"));
    afterLayout->addWidget(txtPeak);
    afterLayout->addWidget(controls::label(after, "lblPeakUnit", "%"));
    afterLayout->addSpacing(8);
    afterLayout->addWidget(controls::label(after, "lblTarget", "Loudness"));
    afterLayout->addWidget(txtTarget);
    afterLayout->addWidget(controls::label(after, "lblTargetUnit", "LUFS, true peak at most"));
    afterLayout->addWidget(txtCeiling);
    afterLayout->addWidget(controls::label(after, "lblCeilingUnit", "dBTP"));
    afterLayout->addStretch();

    chkEnabled = controls::checkBox(this, "chkEnabled", "Enabled");
    lblMessage = controls::label(this, "lblMessage");
    lblMessage->setWordWrap(true);
    lblMessage->setStyleSheet("color: #c00000");
    cmdOK = controls::button(this, "cmdOK", "OK");
    cmdCancel = controls::button(this, "cmdCancel", "Cancel");
    cmdOK->setDefault(true);

    auto* whenGroup = new QButtonGroup(this);
    whenGroup->addButton(optWhen[0]);
    whenGroup->addButton(optWhen[1]);
    auto* endGroup = new QButtonGroup(this);
    endGroup->addButton(optEnd[0]);
    endGroup->addButton(optEnd[1]);
    auto* slotGroup = new QButtonGroup(this);
    slotGroup->addButton(optSlot[0]);
    slotGroup->addButton(optSlot[1]);

    auto* top = new QGridLayout;
    top->addWidget(controls::label(this, "lblName", "Name"), 0, 0);
    top->addWidget(txtName, 0, 1);
    top->addWidget(controls::label(this, "lblStart", "Start"), 1, 0);
    top->addWidget(txtStart, 1, 1, Qt::AlignLeft);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkEnabled);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(when);
    layout->addWidget(end);
    layout->addWidget(slot);
    layout->addWidget(after);
    layout->addWidget(lblMessage);
    layout->addLayout(buttons);

    for (QRadioButton* o : {optWhen[0], optWhen[1], optEnd[0], optEnd[1], optSlot[0], optSlot[1]})
        connect(o, &QRadioButton::toggled, this, &frmEditEvent::followChoices);
    connect(cboAfter, &QComboBox::currentIndexChanged, this, &frmEditEvent::followChoices);
    connect(txtName, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(txtTemplate, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(txtStart, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(txtDate, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(cmdOK, &QPushButton::clicked, this, &frmEditEvent::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmEditEvent::cmdCancel_Click);

    editEvent(0);
}

void frmEditEvent::editEvent(qint64 id)
{
    RecordEvent event;
    if (id != 0) {
        if (const auto stored = studio_.events().find(id))
            event = *stored;
    }
    if (event.id == 0) {
        // A new event: every day at the next whole hour, five minutes, named by name, time and day.
        const QDateTime now = app().clock().now();
        event.start = QTime(now.time().hour(), 0).addSecs(3600);
        event.weekdays = RecordEvent::EveryDay;
        event.lengthSeconds = 5 * 60;
        event.nameTemplate = "{name} {time} {date}";
    }
    event_ = event;
    setWindowTitle(event.id == 0 ? "New Record Event" : "Record Event");
    fill(event);
}

void frmEditEvent::fill(const RecordEvent& event)
{
    txtName->setText(event.name);
    txtStart->setText(timeOfDayText(event.start));
    optWhen[event.isOneShot() ? 1 : 0]->setChecked(true);
    for (int d = 0; d < 7; ++d)
        chkDay[d]->setChecked(event.runsOnWeekday(d + 1));
    txtDate->setText((event.isOneShot() ? event.date : app().clock().now().date()).toString("dd.MM.yyyy"));
    optEnd[event.endKind == schedule::EndKind::TimeOfDay ? 1 : 0]->setChecked(true);
    const int length = event.endKind == schedule::EndKind::Length ? event.lengthSeconds : event.plannedSeconds();
    txtLength->setText(lengthText(length));
    txtEnd->setText(timeOfDayText(event.endKind == schedule::EndKind::TimeOfDay ? event.end
                                                                                : event.start.addSecs(length)));
    optSlot[event.destination == schedule::Destination::FixedSlot ? 1 : 0]->setChecked(true);
    txtTemplate->setText(event.nameTemplate);
    txtSlot->setText(event.fixedSlot > 0 ? QString::number(event.fixedSlot) : QString());
    cboAfter->setCurrentIndex(static_cast<int>(event.after));
    txtPeak->setText(QString::number(event.peakPercent));
    txtTarget->setText(numberText(event.loudnessLufs));
    txtCeiling->setText(numberText(event.ceilingDbtp));
    chkEnabled->setChecked(event.enabled);
    lblMessage->clear();
    followChoices();
    showExample();
}

frmEditEvent::Typed frmEditEvent::typed() const
{
    Typed t{event_, {}};
    RecordEvent& e = t.event;
    e.name = txtName->text().trimmed();
    e.start = timeOfDay(txtStart->text());
    if (!e.start.isValid()) {
        t.errors << "Type the start as a time of day: 17:00, or 06:10:30 with seconds.";
        e.start = QTime(0, 0);
    }
    e.weekdays = 0;
    for (int d = 0; d < 7; ++d)
        if (chkDay[d]->isChecked())
            e.weekdays |= RecordEvent::weekdayBit(d + 1);
    e.date = QDate();
    if (optWhen[1]->isChecked()) {
        e.date = QDate::fromString(txtDate->text().trimmed(), "d.M.yyyy");
        if (!e.date.isValid())
            t.errors << "Type the date as day.month.year: 24.12.2026.";
    }
    e.endKind = optEnd[1]->isChecked() ? schedule::EndKind::TimeOfDay : schedule::EndKind::Length;
    if (e.endKind == schedule::EndKind::Length) {
        try {
            e.lengthSeconds = timeTextToSeconds(txtLength->text().trimmed());
        } catch (const Failure&) {
            e.lengthSeconds = 0;
        }
    } else {
        e.end = timeOfDay(txtEnd->text());
        if (!e.end.isValid()) {
            t.errors << "Type the end as a time of day: 18:00, or 18:00:30 with seconds.";
            e.end = e.start;
        }
    }
    e.destination = optSlot[1]->isChecked() ? schedule::Destination::FixedSlot : schedule::Destination::FirstFree;
    e.nameTemplate = txtTemplate->text();
    const std::optional<double> slot = number(txtSlot->text());
    e.fixedSlot = slot && *slot == std::floor(*slot) && std::abs(*slot) <= RecordEvent::MaxSlot + 1 ? int(*slot) : 0;
    e.after = static_cast<schedule::AfterRecording>(cboAfter->currentIndex());
    if (e.after == schedule::AfterRecording::PeakNormalize) {
        const std::optional<double> peak = number(txtPeak->text());
        if (!peak || *peak < 1 || *peak > 100 || *peak != std::floor(*peak))
            t.errors << "Type the peak as a whole number of per cent from 1 to 100.";
        else
            e.peakPercent = int(*peak);
    } else if (e.after == schedule::AfterRecording::LoudnessNormalize) {
        const std::optional<double> target = number(txtTarget->text());
        const std::optional<double> ceiling = number(txtCeiling->text());
        if (!target || *target < -60 || *target > -5)
            t.errors << "Type the loudness as a number of LUFS from -60 to -5.";
        else
            e.loudnessLufs = *target;
        if (!ceiling || *ceiling < -20 || *ceiling > 0)
            t.errors << "Type the true peak as a number of dBTP from -20 to 0.";
        else
            e.ceilingDbtp = *ceiling;
    }
    e.enabled = chkEnabled->isChecked();
    return t;
}

void frmEditEvent::followChoices()
{
    for (QCheckBox* c : chkDay)
        c->setEnabled(optWhen[0]->isChecked());
    txtDate->setEnabled(optWhen[1]->isChecked());
    txtLength->setEnabled(optEnd[0]->isChecked());
    txtEnd->setEnabled(optEnd[1]->isChecked());
    txtTemplate->setEnabled(optSlot[0]->isChecked());
    lblExample->setEnabled(optSlot[0]->isChecked());
    txtSlot->setEnabled(optSlot[1]->isChecked());
    const auto after = static_cast<schedule::AfterRecording>(cboAfter->currentIndex());
    txtPeak->setEnabled(after == schedule::AfterRecording::PeakNormalize);
    txtTarget->setEnabled(after == schedule::AfterRecording::LoudnessNormalize);
    txtCeiling->setEnabled(after == schedule::AfterRecording::LoudnessNormalize);
}

void frmEditEvent::showExample()
{
    const RecordEvent e = typed().event;
    const QDateTime now = app().clock().now();
    const auto next = schedule::EventTiming::nextStart(e, now.toMSecsSinceEpoch());
    const QDateTime at = next ? QDateTime::fromMSecsSinceEpoch(next->startMs)
                              : QDateTime(e.isOneShot() ? e.date : now.date(), e.start);
    const QString name = schedule::NameTemplate::expand(e.nameTemplate, e.name, at);
    lblExample->setText(name.trimmed().isEmpty() ? QString("(an empty name)") : "e.g. \"" + name + "\"");
}

void frmEditEvent::cmdOK_Click()
{
    Typed t = typed();
    if (!t.errors.isEmpty()) {
        lblMessage->setText(t.errors.join("\n"));
        return;
    }
    RecordEvent& e = t.event;
    const EventCheck check = checkEvent(e, studio_.events().all(), app().clock().now(), app().clock().locale());
    if (!check.storable()) {
        lblMessage->setText(check.errors.join("\n"));
        return;
    }
    try {
        if (e.id == 0)
            studio_.events().add(e);
        else
            studio_.events().update(e);
    } catch (const Failure& f) {
        lblMessage->setText("The event is not stored: " + f.text());
        return;
    }
    if (!check.warnings.isEmpty())
        app().showMessage(QString("\"%1\" is stored.\n%2").arg(e.name, check.warnings.join("\n")));
    close();
}

void frmEditEvent::cmdCancel_Click()
{
    close();
}

} // namespace tamblor::events
