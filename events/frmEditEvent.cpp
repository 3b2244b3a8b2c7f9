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
#include "core/ProgramSettings.h"
#include "core/RecordingFormats.h"
#include "core/SharedState.h"
#include "audio/devices/AudioBackend.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LoudnessPanel.h"
#include <QSignalBlocker>
#include <QTimer>
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
    txtDate = shortBox(when, "txtDate", "00/00/00000");
    auto* whenLayout = new QGridLayout(when);
    whenLayout->addWidget(optWhen[0], 0, 0);
    auto* days = new QGridLayout;
    for (int d = 0; d < 7; ++d)
        days->addWidget(chkDay[d], d / 4, d % 4);
    whenLayout->addLayout(days, 0, 1);
    whenLayout->addWidget(optWhen[1], 1, 0);
    whenLayout->addWidget(txtDate, 1, 1, Qt::AlignLeft);
    whenLayout->setColumnStretch(2, 1);

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
    auto* nextDay = controls::label(end, "lblNextDay", "(an end earlier than the start is on the next day)");
    nextDay->setWordWrap(true);
    endLayout->addWidget(nextDay, 1, 2);
    endLayout->setColumnStretch(2, 1);

    auto* slot = controls::frame(this, "fraSlot", "Recorded into");
    optSlot[0] = controls::option(slot, "optSlot_0", "The first free slot, named");
    optSlot[1] = controls::option(slot, "optSlot_1", "Always slot");
    txtTemplate = controls::textBox(slot, "txtTemplate");
    txtTemplate->setToolTip("{name} the event's name, {date} the day (07.12), {time} the start (17:00)");
    lblExample = controls::label(slot, "lblExample");
    txtSlot = shortBox(slot, "txtSlot", "00000");
    auto* slotLayout = new QGridLayout(slot);
    slotLayout->addWidget(optSlot[0], 0, 0);
    slotLayout->addWidget(txtTemplate, 1, 0, 1, 2);
    slotLayout->addWidget(lblExample, 2, 0, 1, 2);
    slotLayout->addWidget(optSlot[1], 3, 0);
    slotLayout->addWidget(txtSlot, 3, 1, Qt::AlignLeft);
    auto* replaceNote = controls::label(slot, "lblReplace", "(the old take stays until the new one is complete and OK)");
    replaceNote->setWordWrap(true);
    slotLayout->addWidget(replaceNote, 4, 0, 1, 2);
    slotLayout->setColumnStretch(1, 1);

    // The input: each list's first entry is what the preferences have.
    auto* input = controls::frame(this, "fraInput", "Input");
    cboDevice = controls::named(new QComboBox(input), "cboDevice");
    cboFormat = controls::named(new QComboBox(input), "cboFormat");
    cboChannels = controls::named(new QComboBox(input), "cboChannels");
    cboDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboDevice->setMinimumContentsLength(24);
    lblQuality = controls::label(input, "lblQuality");
    lblQuality->setWordWrap(true);
    lblQuality->setStyleSheet("color: #c00000; font-weight: bold");
    cmdCheck = controls::button(input, "cmdCheck", "Check input");
    cmdCheck->setToolTip(QString("Opens the input for %1 seconds and shows its levels and loudness").arg(CheckMs / 1000));
    lblCheck = controls::label(input, "lblCheck");
    lblCheck->setWordWrap(true);
    Level1 = controls::named(new audio::LevelMeter(Qt::Horizontal, input), "Level1");
    Level2 = controls::named(new audio::LevelMeter(Qt::Horizontal, input), "Level2");
    for (audio::LevelMeter* meter : {Level1, Level2})
        meter->setTimeSource([&clock = app.clock()] { return clock.steadyMs(); });
    Loudness1 = controls::named(new audio::LoudnessPanel(input), "Loudness1");
    auto* inputLayout = new QGridLayout(input);
    inputLayout->addWidget(controls::label(input, "lblDevice", "Card"), 0, 0);
    inputLayout->addWidget(cboDevice, 0, 1, 1, 2);
    inputLayout->addWidget(controls::label(input, "lblFormat", "Format"), 1, 0);
    inputLayout->addWidget(cboFormat, 1, 1);
    inputLayout->addWidget(cboChannels, 1, 2);
    inputLayout->addWidget(lblQuality, 2, 0, 1, 3);
    auto* check = new QHBoxLayout;
    check->addWidget(cmdCheck);
    check->addWidget(lblCheck, 1);
    inputLayout->addLayout(check, 3, 0, 1, 3);
    inputLayout->addWidget(controls::label(input, "lblLeft", "L"), 4, 0);
    inputLayout->addWidget(Level1, 4, 1, 1, 2);
    inputLayout->addWidget(controls::label(input, "lblRight", "R"), 5, 0);
    inputLayout->addWidget(Level2, 5, 1, 1, 2);
    inputLayout->addWidget(Loudness1, 6, 0, 1, 3);
    inputLayout->setColumnStretch(1, 1);
    CheckTimer = controls::named(new QTimer(this), "CheckTimer");
    CheckTimer->setSingleShot(true);
    CheckTimer->setInterval(CheckMs);

    auto* after = controls::frame(this, "fraAfter", "After recording");
    cboAfter = controls::named(new QComboBox(after), "cboAfter");
    cboAfter->addItems({"Nothing", "Peak normalize", "Loudness normalize"});
    txtPeak = shortBox(after, "txtPeak", "-000.0");
    txtTarget = shortBox(after, "txtTarget", "-000.0");
    txtCeiling = shortBox(after, "txtCeiling", "-000.0");
    auto* afterLayout = new QGridLayout(after);
    afterLayout->addWidget(cboAfter, 0, 0, 1, 4);
    afterLayout->addWidget(controls::label(after, "lblPeak", "Peak"), 1, 0);
    afterLayout->addWidget(txtPeak, 1, 1);
    afterLayout->addWidget(controls::label(after, "lblPeakUnit", "%"), 1, 2);
    afterLayout->addWidget(controls::label(after, "lblTarget", "Loudness"), 2, 0);
    afterLayout->addWidget(txtTarget, 2, 1);
    afterLayout->addWidget(controls::label(after, "lblTargetUnit", "LUFS, true peak at most"), 2, 2);
    afterLayout->addWidget(txtCeiling, 2, 3);
    afterLayout->addWidget(controls::label(after, "lblCeilingUnit", "dBTP"), 2, 4);
    afterLayout->setColumnStretch(5, 1);

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

    // Two columns, so that the window fits a screen 768 pixels high: when, how long and where
    // on the left; what is recorded from and what is done afterwards on the right.
    auto* top = new QGridLayout;
    top->addWidget(controls::label(this, "lblName", "Name"), 0, 0);
    top->addWidget(txtName, 0, 1);
    top->addWidget(controls::label(this, "lblStart", "Start"), 1, 0);
    top->addWidget(txtStart, 1, 1, Qt::AlignLeft);
    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addWidget(when);
    left->addWidget(end);
    left->addWidget(slot);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(input);
    right->addWidget(after);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkEnabled);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(lblMessage);
    layout->addLayout(buttons);

    for (QRadioButton* o : {optWhen[0], optWhen[1], optEnd[0], optEnd[1], optSlot[0], optSlot[1]})
        connect(o, &QRadioButton::toggled, this, &frmEditEvent::followChoices);
    connect(cboAfter, &QComboBox::currentIndexChanged, this, &frmEditEvent::followChoices);
    connect(txtName, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(txtTemplate, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(txtStart, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    connect(txtStart, &QLineEdit::textChanged, this, &frmEditEvent::followStart);
    // The greyed one of length and end follows the other (what is set in it meanwhile by a
    // program is overwritten only when the other changes).
    connect(txtLength, &QLineEdit::textChanged, this, [this] {
        if (optEnd[0]->isChecked())
            followStart();
    });
    connect(txtEnd, &QLineEdit::textChanged, this, [this] {
        if (optEnd[1]->isChecked())
            followStart();
    });
    connect(txtDate, &QLineEdit::textChanged, this, &frmEditEvent::showExample);
    for (QComboBox* c : {cboFormat, cboChannels})
        connect(c, &QComboBox::currentIndexChanged, this, &frmEditEvent::showQuality);
    connect(cmdOK, &QPushButton::clicked, this, &frmEditEvent::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmEditEvent::cmdCancel_Click);
    connect(cmdCheck, &QPushButton::clicked, this, &frmEditEvent::cmdCheck_Click);
    connect(CheckTimer, &QTimer::timeout, this, &frmEditEvent::endCheck);

    // The check shows what the input delivers; a take that takes the input ends it.
    RecordingSession* recording = &studio.recording();
    connect(recording, &RecordingSession::levelsChanged, this, [this](int l, int r) {
        if (studio_.recording().checking() && checkStarted_) {
            Level1->setValue(l);
            Level2->setValue(r);
        }
    });
    connect(recording, &RecordingSession::checkChanged, this, &frmEditEvent::showCheck);
    connect(&studio.watch(), &ProgrammeWatch::updated, this, &frmEditEvent::showProgramme);
    try {
        const LoudnessPreferences p = ProgramSettings(app.drives()).loudness();
        Loudness1->setScale(p.meterScale);
        Loudness1->setCeiling(p.truePeakCeilingDbtp);
    } catch (const Failure&) {
        // The settings cannot be read: the meter keeps its own scale and ceiling.
    }
    connect(Loudness1, &audio::LoudnessPanel::resetClicked, &studio.watch(), &ProgrammeWatch::resetMeter);

    editEvent(0);
}

frmEditEvent::~frmEditEvent()
{
    studio_.recording().disconnect(this);
    studio_.watch().disconnect(this);
    if (checkStarted_)
        studio_.recording().endCheck();
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
    txtDate->setText(dateText(event.isOneShot() ? event.date : app().clock().now().date(), app().clock().dateSeparator()));
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
    fillInputs(event);
    lblMessage->clear();
    followChoices();
    showExample();
}

void frmEditEvent::fillInputs(const RecordEvent& event)
{
    const SharedState& st = app().state();
    audio::AudioBackend& cards = app().audio();
    const QLocale& locale = app().clock().locale();
    const int cardCount = cards.inputDeviceCount();
    const QString preferred = st.RecordDevice >= 0 && st.RecordDevice < cardCount ? cards.inputDeviceName(st.RecordDevice)
                                                                                   : QString("card %1").arg(st.RecordDevice);
    cboDevice->clear();
    cboDevice->addItem("As the preferences: " + preferred, AsPreferences);
    for (int i = 0; i < cardCount; ++i)
        cboDevice->addItem(cards.inputDeviceName(i), i);
    if (event.device) {
        // The card is found by its name first: the numbers move when a card comes or goes.
        int row = event.deviceName.isEmpty() ? -1 : cboDevice->findText(event.deviceName);
        if (row <= 0)
            row = event.deviceName.isEmpty() ? cboDevice->findData(*event.device) : -1;
        if (row <= 0) {
            // A card that is not there now stays chosen, said as such.
            cboDevice->addItem(QString("%1 (not there)").arg(event.deviceName.isEmpty() ? QString("card %1").arg(*event.device)
                                                                                       : event.deviceName),
                               *event.device);
            row = cboDevice->count() - 1;
        }
        cboDevice->setCurrentIndex(row);
    } else {
        cboDevice->setCurrentIndex(0);
    }
    cboFormat->clear();
    cboFormat->addItem("As the preferences: " + recordingFormatText(st.FormatIndex, locale), AsPreferences);
    for (int i = 0; i < int(RecordingFormats.size()); ++i)
        cboFormat->addItem(recordingFormatText(i, locale), i);
    cboFormat->setCurrentIndex(event.format && isRecordingFormat(*event.format) ? *event.format + 1 : 0);
    cboChannels->clear();
    cboChannels->addItem(QString("As the preferences: ") + (st.ChannelMode == 0 ? "mono" : "stereo"), AsPreferences);
    cboChannels->addItem("Mono", 0);
    cboChannels->addItem("Stereo", 1);
    cboChannels->setCurrentIndex(event.channels && (*event.channels == 0 || *event.channels == 1) ? *event.channels + 1 : 0);
    showQuality();
}

void frmEditEvent::showQuality()
{
    const RecordEvent e = typed().event;
    const QString warning = qualityWarning(e, {QString(), app().state().FormatIndex, app().state().ChannelMode});
    lblQuality->setText(warning.isEmpty() ? QString()
                                          : "The takes of this event would be " + warning + ": telephone quality.");
    lblQuality->setVisible(!warning.isEmpty());
}

void frmEditEvent::followStart()
{
    const QTime start = timeOfDay(txtStart->text());
    if (!start.isValid())
        return;
    const QSignalBlocker blockLength(txtLength);
    const QSignalBlocker blockEnd(txtEnd);
    if (optEnd[0]->isChecked()) {
        try {
            txtEnd->setText(timeOfDayText(start.addSecs(timeTextToSeconds(txtLength->text().trimmed()))));
        } catch (const Failure&) {
            // No length to work the end out from: the end stays as it was.
        }
    } else {
        const QTime end = timeOfDay(txtEnd->text());
        if (end.isValid()) {
            const int d = start.secsTo(end);
            txtLength->setText(lengthText(d > 0 ? d : d + 24 * 3600));
        }
    }
}

void frmEditEvent::cmdCheck_Click()
{
    RecordingSession& recording = studio_.recording();
    if (recording.checking() && checkStarted_) {
        endCheck();
        return;
    }
    const RecordEvent e = typed().event;
    const SharedState& st = app().state();
    const int device = e.device.value_or(st.RecordDevice);
    const int format = e.format.value_or(st.FormatIndex);
    const int channels = e.channels.value_or(st.ChannelMode);
    checkStarted_ = true;
    if (!recording.openForCheck(device, format, channels)) {
        checkStarted_ = false;
        lblCheck->setText(recording.refusal());
        return;
    }
    studio_.watch().resetMeter();
    CheckTimer->start();
    lblCheck->setText(QString("Listening to %1 for %2 s...").arg(cboDevice->currentText()).arg(CheckMs / 1000));
}

void frmEditEvent::endCheck()
{
    CheckTimer->stop();
    if (checkStarted_)
        studio_.recording().endCheck();
}

void frmEditEvent::showCheck(bool checking)
{
    cmdCheck->setText(checking && checkStarted_ ? "Stop check" : "Check input");
    if (checking || !checkStarted_)
        return;
    checkStarted_ = false;
    CheckTimer->stop();
    // The take that armed meanwhile ended the check; otherwise it ran its time or was stopped.
    lblCheck->setText(studio_.recording().checkYielded()
                          ? QString("A take took the input: the check ended.")
                          : QString("The check ended."));
    Level1->setValue(0);
    Level2->setValue(0);
}

void frmEditEvent::showProgramme()
{
    if (!checkStarted_)
        return;
    const ProgrammeWatch& watch = studio_.watch();
    Loudness1->showReading(watch.reading(), watch.isLive());
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
        const QString sep = app().clock().dateSeparator();
        e.date = dateFromText(txtDate->text(), sep);
        if (!e.date.isValid())
            t.errors << QString("Type the date as month%1day%1year: %2.").arg(sep, dateText(QDate(2026, 12, 24), sep));
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
    const int device = cboDevice->currentData().toInt();
    if (device == AsPreferences) {
        e.device.reset();
        e.deviceName.clear();
    } else {
        e.device = device;
        // The name as the card has it (an entry of a card not there keeps the name it had).
        if (device < app().audio().inputDeviceCount() && cboDevice->currentIndex() <= app().audio().inputDeviceCount())
            e.deviceName = app().audio().inputDeviceName(device);
    }
    const int format = cboFormat->currentData().toInt();
    e.format = format == AsPreferences ? std::nullopt : std::optional<int>(format);
    const int channels = cboChannels->currentData().toInt();
    e.channels = channels == AsPreferences ? std::nullopt : std::optional<int>(channels);
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
    followStart();
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
    const EventCheck check = checkEvent(e, studio_.events().all(), app().clock().now(), app().clock().dateSeparator());
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

void frmEditEvent::Form_Unload(bool& cancel)
{
    Q_UNUSED(cancel);
    endCheck();
}

void frmEditEvent::cmdCancel_Click()
{
    close();
}

} // namespace tamblor::events
