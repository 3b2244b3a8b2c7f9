#include "app/prefs/frmMyPreferences.h"
#include "core/RecordingFormats.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "core/SettingsFile.h"
#include "audio/devices/AudioBackend.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include "remote/Ports.h"
#include "studio/RemoteControl.h"
#include <QComboBox>
#include <algorithm>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tamblor {

namespace {

// A list as tall as `rows` entries.
QListWidget* rowsHigh(QListWidget* list, int rows)
{
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setFixedHeight(list->fontMetrics().height() * rows + 8);
    return list;
}

template <class W> W* withTip(W* widget, const QString& tip)
{
    widget->setToolTip(tip);
    return widget;
}

// A list at least as wide as its widest entry, so no name is cut.
void fitWidthToEntries(QListWidget* list)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->item(i)->text()));
    const int frame = 2 * list->frameWidth();
    const int scrollBar = list->count() * list->fontMetrics().height() + 8 > list->height()
                              ? list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list)
                              : 0;
    list->setMinimumWidth(widest + frame + scrollBar + 12);
}

void addItem(QListWidget* list, const QString& text, int itemData)
{
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, itemData);
}

// The selected entry of a list, or nullptr. Only a selection counts as the operator's choice:
// the current row alone (Tab into a list makes its first row current) is none.
QListWidgetItem* selectedItem(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

// The position of the selected entry; -1 when nothing is selected.
int selectedRow(const QListWidget* list)
{
    const QListWidgetItem* item = selectedItem(list);
    return item ? list->row(item) : -1;
}

// The item data of the selected entry (381 when nothing is selected).
int16_t selectedItemData(const QListWidget* list)
{
    const QListWidgetItem* item = selectedItem(list);
    if (!item)
        throw Failure(Failure::InvalidArrayIndex);
    return static_cast<int16_t>(item->data(Qt::UserRole).toInt());
}

// Selects a position of a list; a position that does not fit leaves the list without selection.
void selectRow(QListWidget* list, int row)
{
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1, QItemSelectionModel::Clear);
    }
}

// The number in a box as a 16-bit value. When it does not fit, the box is made ready for the
// operator to mend, enabled even where the start mode greys it out, before the failure goes on.
int16_t boxValue(QLineEdit* box, QLabel* caption)
{
    try {
        return toInt16(leadingNumber(box->text()));
    } catch (const Failure&) {
        caption->setEnabled(true);
        box->setEnabled(true);
        box->selectAll();
        box->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

template <size_t N> int checkedIndex(const std::array<QRadioButton*, N>& buttons)
{
    for (size_t i = 0; i < N; ++i) {
        if (buttons[i]->isChecked())
            return int(i);
    }
    return -1;
}

template <size_t N> void checkIndex(const std::array<QRadioButton*, N>& buttons, int index)
{
    if (index >= 0 && index < int(N))
        buttons[size_t(index)]->setChecked(true);
}

} // namespace

frmMyPreferences::frmMyPreferences(Application& app, RemoteControl* remote)
    : Form(app, WindowName::frmMyPreferences), remote_(remote)
{
    setWindowTitle("My Preferences");

    const FilesMenuBar menus = addFilesMenuBar();
    menuBar = menus.bar;
    connect(menus.exit, &QAction::triggered, this, &frmMyPreferences::mnuExit_Click);

    // The system's drives; only its entries' names are used.
    Drive1 = controls::named(new QComboBox(this), "Drive1");
    Drive1->setVisible(false);

    lblMM1 = controls::label(this, "lblMM1", "Play");
    lstMM1 = withTip(rowsHigh(controls::listBox(this, "lstMM1"), 3), "Select Play sound card");
    Label9 = controls::label(this, "Label9", "Record ");
    Label9->setToolTip("Select record sound card");
    lstMM2 = withTip(rowsHigh(controls::listBox(this, "lstMM2"), 3), "Select Program  sound card");
    Label3 = controls::label(this, "Label3", "Select Format");
    List2 = withTip(rowsHigh(controls::listBox(this, "List2"), 6), "Select sample rate and bit length");
    Label8 = controls::label(this, "Label8", "Save files to drive");
    lstDrv = withTip(rowsHigh(controls::listBox(this, "lstDrv"), 4), "Save wave files to this drive.");

    auto* modeBox = controls::named(new QWidget(this), "modeBox");
    optMode[0] = controls::option(modeBox, "optMode_0", "Mono");
    optMode[1] = controls::option(modeBox, "optMode_1", "Stereo");

    Frame1 = controls::frame(this, "Frame1", "Record Start");
    Frame1->setToolTip("Remote control:  Record");
    optRecord[0] = withTip(controls::option(Frame1, "optRecord_0", "Off"),
        "Start/Pause option is off.  Recording is continous until manually stopped.");
    optRecord[1] = withTip(controls::option(Frame1, "optRecord_1", "VOX"),
        "Start/Stop is control by threshhold of audio");
    optRecord[2] = withTip(controls::option(Frame1, "optRecord_2", "Momentary"),
        "Start/Stop is controlled by momentary closure on pins 12 and 13 of the parallel port");
    optRecord[3] = withTip(controls::option(Frame1, "optRecord_3", "Continous"),
        "Start/Stop is controlled by a closure on Pin 12 of the remote control.  A closure "
        "starts and continues the recording.  An open pauses the recording.");

    Label4 = controls::label(this, "Label4", "Record Audio Threshold");
    txtThreshold = controls::textBox(this, "txtThreshold");
    txtThreshold->setToolTip("Set the Audio level for record start/pause in \"VOX\" mode");
    Label5 = controls::label(this, "Label5", "Stop Delay");
    txtStopDelay = controls::textBox(this, "txtStopDelay");
    txtStopDelay->setToolTip("Delay before pausing record after level falls below threshhold");
    // Room for any 16-bit number.
    for (QLineEdit* box : {txtThreshold, txtStopDelay})
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance("-32768") + 24);

    Frame3 = controls::frame(this, "Frame3", "Remote Control");
    Frame3->setToolTip("Remote control:  Record, Play, EOM, Time Update, Alarm");
    Option2[0] = withTip(controls::option(Frame3, "Option2_0", "Off"),
        "Remote Control is Off.  This position should be selected when a printer is connected "
        "to the parallel port.");
    Option2[1] = withTip(controls::option(Frame3, "Option2_1", "Parallel "),
        "Use the Parallel Port for start/pause control.");
    Option2[2] = withTip(controls::option(Frame3, "Option2_2", "Prairie Digital"),
        "The Prairie Digital Model 30 Card is not supported on this machine: nothing documents how to read it. "
        "Choose \"Serial\" and wire the contacts to a serial port's modem lines.");
    Option2[3] = withTip(controls::option(Frame3, "Option2_3", "Serial"),
        "Use a serial port's modem lines for start/pause control: a contact from DTR to DSR starts (pin 12), "
        "to CTS stops (pin 13), to DCD plays.");
    cboRemotePort = controls::named(new QComboBox(Frame3), "cboRemotePort");
    cboRemotePort->setEditable(true);
    cboRemotePort->setToolTip("The port the contacts are wired to (a USB adapter keeps its /dev/serial/by-id name)");
    cboRemotePort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboRemotePort->setMinimumContentsLength(12);
    lblRemoteLines = controls::label(Frame3, "lblRemoteLines");
    lblRemoteLines->setWordWrap(true);
    lblRemoteLines->setToolTip("The remote inputs as the program reads them now");

    fraLoudness = controls::frame(this, "fraLoudness", "Loudness meter and silence alarm");
    lblMeterScale = controls::label(fraLoudness, "lblMeterScale", "Meter scale");
    cboMeterScale = controls::named(new QComboBox(fraLoudness), "cboMeterScale");
    cboMeterScale->addItem("EBU +9 (-41 to -14 LUFS)", 9);
    cboMeterScale->addItem("EBU +18 (-59 to -5 LUFS)", 18);
    cboMeterScale->setToolTip("The range of the loudness meter's bars");
    lblCeiling = controls::label(fraLoudness, "lblCeiling", "True peak ceiling (dBTP)");
    txtCeiling = withTip(controls::textBox(fraLoudness, "txtCeiling"),
        "The meter's true-peak light goes on above this level");
    lblSilenceThreshold = controls::label(fraLoudness, "lblSilenceThreshold", "Silence below (dBFS)");
    txtSilenceThreshold = withTip(controls::textBox(fraLoudness, "txtSilenceThreshold"),
        "A take or a file playing that stays below this level is silent");
    lblSilenceTime = controls::label(fraLoudness, "lblSilenceTime", "Silence alarm after (s)");
    txtSilenceTime = withTip(controls::textBox(fraLoudness, "txtSilenceTime"),
        "Seconds of silence before the alarm is raised; 5 seconds of sound clear it");
    lblSilenceCommand = controls::label(fraLoudness, "lblSilenceCommand", "Silence command");
    txtSilenceCommand = withTip(controls::textBox(fraLoudness, "txtSilenceCommand"),
        "Run once when the alarm is raised, with the slot, the file and the level as its last arguments");
    for (QLineEdit* box : {txtCeiling, txtSilenceThreshold, txtSilenceTime})
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance("-000.0") + 24);
    txtSilenceCommand->setMinimumWidth(txtSilenceCommand->fontMetrics().horizontalAdvance("/usr/local/bin/alarm") + 24);

    cmdApply = controls::button(this, "cmdApply", "Apply");
    cmdApply->setToolTip("Saves settings");
    cmdClose = controls::button(this, "cmdClose", "&Close");
    cmdClose->setToolTip("Exit ");

    // Layout: devices and format on the left, drive and modes on the right, buttons below.
    auto* modeLayout = new QVBoxLayout(modeBox);
    modeLayout->setContentsMargins(0, 0, 0, 0);
    modeLayout->addWidget(optMode[0]);
    modeLayout->addWidget(optMode[1]);
    auto* frame1Layout = new QVBoxLayout(Frame1);
    for (auto* b : optRecord)
        frame1Layout->addWidget(b);
    auto* frame3Layout = new QVBoxLayout(Frame3);
    for (auto* b : Option2)
        frame3Layout->addWidget(b);
    frame3Layout->addWidget(cboRemotePort);
    frame3Layout->addWidget(lblRemoteLines);

    auto* left = new QVBoxLayout;
    left->addWidget(lblMM1);
    left->addWidget(lstMM1);
    left->addWidget(Label9);
    left->addWidget(lstMM2);
    left->addWidget(Label3);
    left->addWidget(List2);
    left->addStretch();

    auto* levels = new QGridLayout;
    levels->addWidget(Label4, 0, 0);
    levels->addWidget(txtThreshold, 0, 1);
    levels->addWidget(Label5, 1, 0);
    levels->addWidget(txtStopDelay, 1, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(Label8);
    right->addWidget(lstDrv);
    right->addWidget(modeBox);
    right->addWidget(Frame1);
    right->addLayout(levels);
    right->addWidget(Frame3);
    right->addStretch();

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);

    auto* loudness = new QGridLayout(fraLoudness);
    loudness->addWidget(lblMeterScale, 0, 0);
    loudness->addWidget(cboMeterScale, 0, 1);
    loudness->addWidget(lblCeiling, 0, 2);
    loudness->addWidget(txtCeiling, 0, 3);
    loudness->addWidget(lblSilenceThreshold, 1, 0);
    loudness->addWidget(txtSilenceThreshold, 1, 1);
    loudness->addWidget(lblSilenceTime, 1, 2);
    loudness->addWidget(txtSilenceTime, 1, 3);
    loudness->addWidget(lblSilenceCommand, 2, 0);
    loudness->addWidget(txtSilenceCommand, 2, 1, 1, 3);
    loudness->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(columns);
    layout->addWidget(fraLoudness);
    layout->addLayout(buttons);

    connect(lstDrv, &QListWidget::itemSelectionChanged, this, [this] { lstDrv_Click(); });
    for (size_t i = 0; i < optMode.size(); ++i)
        connect(optMode[i], &QRadioButton::toggled, this, [this, i](bool on) { if (on) optMode_Click(int(i)); });
    for (size_t i = 0; i < optRecord.size(); ++i)
        connect(optRecord[i], &QRadioButton::toggled, this, [this, i](bool on) { if (on) optRecord_Click(int(i)); });
    for (size_t i = 0; i < Option2.size(); ++i)
        connect(Option2[i], &QRadioButton::toggled, this, [this, i](bool on) { if (on) Option2_Click(int(i)); });
    connect(cmdApply, &QPushButton::clicked, this, &frmMyPreferences::cmdApply_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMyPreferences::cmdClose_Click);
}

void frmMyPreferences::Form_Load()
{
    SharedState& s = app().state();

    // Drives: every drive but the floppies A and B, item data = letter code - 64 (C gives 3).
    for (QChar letter : app().drives().drives())
        Drive1->addItem(QString(letter.toLower()) + ":");
    for (int i = 0; i < Drive1->count(); ++i) {
        const QChar first = Drive1->itemText(i).at(0);
        if (first == 'a' || first == 'b')
            continue;
        addItem(lstDrv, QString(first.toUpper()), first.toUpper().unicode() - 64);
    }

    // Devices: item data = device number = position.
    audio::AudioBackend& audio = app().audio();
    for (int i = 0; i < audio.outputDeviceCount(); ++i)
        addItem(lstMM1, audio.outputDeviceName(i), i);
    for (int i = 0; i < audio.inputDeviceCount(); ++i)
        addItem(lstMM2, audio.inputDeviceName(i), i);

    for (int i = 0; i < int(RecordingFormats.size()); ++i)
        List2->addItem(recordingFormatText(i, app().clock().locale()));
    for (QListWidget* l : {lstMM1, lstMM2, List2, lstDrv})
        fitWidthToEntries(l);

    // From here a setting that does not fit its list leaves that list without selection.
    try {
        SettingsFile settings(app().drives());
        settings.open();
        s.PlayDevice = settings.read(SettingsRecord::PlayDevice);
        selectRow(lstMM1, s.PlayDevice);
        selectRow(lstMM2, settings.read(SettingsRecord::RecordDevice));
        selectRow(List2, settings.read(SettingsRecord::FormatIndex));
        s.DriveIndex = settings.read(SettingsRecord::DriveIndex);
        selectDriveByOffset(s.DriveIndex); // runs the drive-list click: DriveLetter follows
        s.ChannelMode = settings.read(SettingsRecord::ChannelMode);
        checkIndex(optMode, s.ChannelMode);
        const int16_t start = settings.read(SettingsRecord::RecordStartMode);
        checkIndex(optRecord, start); // runs the option's click handling
        Label4->setEnabled(start == 1);
        txtThreshold->setEnabled(start == 1);
        txtStopDelay->setEnabled(start == 1);
        s.VoxThreshold = settings.read(SettingsRecord::VoxThreshold);
        txtThreshold->setText(QString::number(s.VoxThreshold));
        s.StopDelay = settings.read(SettingsRecord::StopDelay);
        txtStopDelay->setText(QString::number(s.StopDelay));
        s.RemoteControl = settings.read(SettingsRecord::RemoteControl);
        checkIndex(Option2, s.RemoteControl);
        settings.close();
    } catch (const Failure&) {
        // Errors are ignored while the stored settings are shown.
    }
    showLoudness(ProgramSettings(app().drives()).loudness());
    showRemotePort();
    showRemoteLines();
    if (remote_)
        connect(remote_, &RemoteControl::linesChanged, this, &frmMyPreferences::showRemoteLines);
}

namespace {
// The kind of port a remote-control choice reads (none for Off and the unsupported card).
std::optional<remote::LinePort::Kind> portKindOf(int choice)
{
    switch (RemoteControl::choiceOf(choice)) {
    case RemoteControl::Choice::Parallel: return remote::LinePort::Kind::Parallel;
    case RemoteControl::Choice::Serial: return remote::LinePort::Kind::Serial;
    default: return std::nullopt;
    }
}
} // namespace

void frmMyPreferences::showRemotePort()
{
    const auto kind = portKindOf(app().state().RemoteControl);
    cboRemotePort->clear();
    cboRemotePort->setEnabled(kind.has_value());
    if (!kind)
        return;
    const QString port = ProgramSettings(app().drives()).remoteLines(*kind).port;
    QStringList ports = remote::suggestedPorts(*kind);
    if (!ports.contains(port))
        ports.prepend(port);
    cboRemotePort->addItems(ports);
    cboRemotePort->setCurrentText(port);
}

void frmMyPreferences::showRemoteLines()
{
    const RemoteControl::Choice choice = RemoteControl::choiceOf(app().state().RemoteControl);
    if (choice == RemoteControl::Choice::PrairieDigital)
        lblRemoteLines->setText("Prairie Digital is not supported on this machine: choose Serial.");
    else if (remote_)
        lblRemoteLines->setText(remote_->stateText());
    else
        lblRemoteLines->clear();
}

void frmMyPreferences::showLoudness(const LoudnessPreferences& p)
{
    const QLocale& locale = app().clock().locale();
    cboMeterScale->setCurrentIndex(cboMeterScale->findData(p.meterScale));
    txtCeiling->setText(locale.toString(p.truePeakCeilingDbtp, 'g', 6));
    txtSilenceThreshold->setText(locale.toString(p.silenceThresholdDbfs, 'g', 6));
    txtSilenceTime->setText(locale.toString(p.silenceSeconds, 'g', 6));
    txtSilenceCommand->setText(p.silenceCommand);
}

std::optional<LoudnessPreferences> frmMyPreferences::loudnessFromBoxes()
{
    LoudnessPreferences p;
    p.meterScale = cboMeterScale->currentData().toInt();
    const QLocale& locale = app().clock().locale();
    struct Box {
        QLineEdit* box;
        double* value;
        double lowest, highest;
        const char* what;
    };
    const Box boxes[] = {
        {txtCeiling, &p.truePeakCeilingDbtp, p.kCeilingLowest, p.kCeilingHighest, "The true peak ceiling"},
        {txtSilenceThreshold, &p.silenceThresholdDbfs, p.kThresholdLowest, p.kThresholdHighest,
         "The silence threshold"},
        {txtSilenceTime, &p.silenceSeconds, p.kSecondsLowest, p.kSecondsHighest, "The silence time"}};
    for (const Box& b : boxes) {
        bool ok = false;
        const QString text = b.box->text().trimmed();
        double value = locale.toDouble(text, &ok);
        if (!ok)
            value = text.toDouble(&ok);
        if (!ok || value < b.lowest || value > b.highest) {
            app().showMessage(QStringLiteral("%1 must be a number from %2 to %3.")
                                  .arg(QLatin1String(b.what), locale.toString(b.lowest), locale.toString(b.highest)));
            b.box->selectAll();
            b.box->setFocus(Qt::OtherFocusReason);
            return std::nullopt;
        }
        *b.value = value;
    }
    p.silenceCommand = txtSilenceCommand->text().trimmed();
    return p;
}

void frmMyPreferences::selectDriveByOffset(int offset)
{
    const int code = 67 + offset;
    for (int row = 0; row < lstDrv->count(); ++row) {
        if (lstDrv->item(row)->data(Qt::UserRole).toInt() + 64 == code) {
            selectRow(lstDrv, row);
            return;
        }
    }
    selectRow(lstDrv, -1);
}

void frmMyPreferences::lstDrv_Click()
{
    const QListWidgetItem* item = selectedItem(lstDrv);
    if (!item)
        return;
    SharedState& s = app().state();
    s.DriveLetter = QString(QChar(item->data(Qt::UserRole).toInt() + 64));
    app().noteSettingsChanged();
}

void frmMyPreferences::optMode_Click(int index)
{
    app().state().ChannelMode = static_cast<int16_t>(index);
    app().noteSettingsChanged();
}

void frmMyPreferences::optRecord_Click(int index)
{
    app().state().RecordStartMode = static_cast<int16_t>(index);
    Label4->setEnabled(index == 1);
    txtThreshold->setEnabled(index == 1);
    Label5->setEnabled(index != 0);
    txtStopDelay->setEnabled(index != 0);
    app().noteSettingsChanged();
}

void frmMyPreferences::Option2_Click(int index)
{
    app().state().RemoteControl = static_cast<int16_t>(index);
    app().noteSettingsChanged();
    showRemotePort();
    showRemoteLines();
}

void frmMyPreferences::cmdApply_Click()
{
    if (!selectedItem(lstDrv)) {
        app().showMessage("You must select a hard drive.");
        return;
    }
    const std::optional<LoudnessPreferences> loudness = loudnessFromBoxes();
    if (!loudness)
        return;
    try {
        applySettings();
        ProgramSettings settings(app().drives());
        settings.setLoudness(*loudness);
        // The port the remote lines of the chosen kind are read from.
        if (const auto kind = portKindOf(app().state().RemoteControl);
            kind && !cboRemotePort->currentText().trimmed().isEmpty()) {
            remote::LineMap map = settings.remoteLines(*kind);
            map.port = cboRemotePort->currentText().trimmed();
            settings.setRemoteLines(map);
        }
    } catch (const Failure& f) {
        app().showMessage(f.text());
        return;
    }
    emit app().settingsApplied(); // the studio applies them, and keeps the cards' names
}

void frmMyPreferences::applySettings()
{
    SharedState& s = app().state();
    SettingsFile settings(app().drives());
    settings.open();

    s.PlayDevice = selectedItemData(lstMM1);
    settings.write(SettingsRecord::PlayDevice, s.PlayDevice);
    s.RecordDevice = selectedItemData(lstMM2);
    settings.write(SettingsRecord::RecordDevice, s.RecordDevice);
    s.FormatIndex = static_cast<int16_t>(selectedRow(List2));
    settings.write(SettingsRecord::FormatIndex, int16_t(s.FormatIndex));
    // The letter's offset from C, as start-up reads it back (not the list position, which
    // differs from it when the machine's drives have gaps).
    s.DriveIndex = static_cast<int16_t>(selectedItemData(lstDrv) + 64 - 67);
    settings.write(SettingsRecord::DriveIndex, s.DriveIndex);
    s.DriveLetter = QString(QChar(67 + s.DriveIndex));
    settings.write(SettingsRecord::ChannelMode, s.ChannelMode);
    // With no start mode selected (a stored value outside the buttons) the current mode stays.
    const int start = checkedIndex(optRecord);
    settings.write(SettingsRecord::RecordStartMode, static_cast<int16_t>(start >= 0 ? start : s.RecordStartMode));
    const int16_t threshold = boxValue(txtThreshold, Label4);
    settings.write(SettingsRecord::VoxThreshold, threshold);
    s.VoxThreshold = threshold;
    const int16_t delay = boxValue(txtStopDelay, Label5);
    settings.write(SettingsRecord::StopDelay, delay);
    s.StopDelay = delay;
    settings.write(SettingsRecord::RemoteControl, s.RemoteControl);
    settings.close();

    const QString folder = s.DriveLetter + ":\\Tamblor";
    if (!app().drives().folderExists(folder) && !app().drives().createFolder(folder))
        throw Failure(Failure::PathFileAccessError);
}

void frmMyPreferences::cmdClose_Click()
{
    close();
}

void frmMyPreferences::mnuExit_Click()
{
    close();
}

} // namespace tamblor
