#include "remote/VirtualLines.h"
#include "studio/Studio.h"
#include <QComboBox>
#include "app/Application.h"
#include "core/SettingsFile.h"
#include "app/prefs/frmMyPreferences.h"
#include "core/ProgramSettings.h"
#include "tests/support/AppFixture.h"
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QFocusEvent>
#include <QtEndian>

using namespace tamblor;

namespace {

// MyComp.ini bytes for record values 1, 2, ...
QByteArray records(std::initializer_list<int16_t> values)
{
    QByteArray out;
    for (int16_t v : values) {
        char b[2];
        qToLittleEndian<int16_t>(v, b);
        out.append(b, 2);
    }
    return out;
}

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QList<int> itemData(const QListWidget* list)
{
    QList<int> out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->data(Qt::UserRole).toInt();
    return out;
}

} // namespace

class PreferencesTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        registerPrefs();
    }
    void registerPrefs()
    {
        app->windows().registerWindow(WindowName::frmMyPreferences, [](Application& a) { return new frmMyPreferences(a); });
    }
    // Starts the program (with the given settings file when not null) and opens the dialog.
    frmMyPreferences* open(const QByteArray* settings = nullptr)
    {
        if (settings) {
            QDir().mkpath(native("C/Tamblor"));
            writeAllBytes(iniPath(), *settings);
        }
        EXPECT_TRUE(app->start());
        dlg = app->windows().show<frmMyPreferences>(WindowName::frmMyPreferences);
        EXPECT_TRUE(dlg);
        return dlg;
    }
    // Ends this application object and starts a new one over the same root.
    void restart()
    {
        newApp();
        registerPrefs();
        dlg = nullptr;
    }
    QString iniPath() const { return native("C/Tamblor/MyComp.ini"); }
    QByteArray ini() const { return readAllBytes(iniPath()); }
    template <class T> T* child(const QString& name) const
    {
        T* w = dlg->findChild<T*>(name);
        EXPECT_TRUE(w) << name.toStdString();
        return w;
    }
    QListWidget* list(const char* name) const { return child<QListWidget>(name); }
    QRadioButton* radio(const char* name) const { return child<QRadioButton>(name); }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    void apply() { child<QPushButton>("cmdApply")->click(); }

    frmMyPreferences* dlg = nullptr;
};

TEST_F(PreferencesTest, ShowsEveryControlWithItsCaptionAndToolTip)
{
    open();
    EXPECT_EQ(dlg->windowTitle(), "My Preferences");
    const std::tuple<const char*, const char*, const char*> labels[] = {
        {"lblMM1", "Play", ""},
        {"Label9", "Record ", "Select record sound card"},
        {"Label3", "Select Format", ""},
        {"Label8", "Save files to drive", ""},
        {"Label4", "Record Audio Threshold", ""},
        {"Label5", "Stop Delay", ""}};
    for (auto [name, caption, tip] : labels) {
        auto* l = child<QLabel>(name);
        EXPECT_EQ(l->text(), caption);
        EXPECT_EQ(l->toolTip(), tip);
    }
    EXPECT_EQ(list("lstMM1")->toolTip(), "Select Play sound card");
    EXPECT_EQ(list("lstMM2")->toolTip(), "Select Program  sound card");
    EXPECT_EQ(list("List2")->toolTip(), "Select sample rate and bit length");
    EXPECT_EQ(list("lstDrv")->toolTip(), "Save wave files to this drive.");
    EXPECT_EQ(edit("txtThreshold")->toolTip(), "Set the Audio level for record start/pause in \"VOX\" mode");
    EXPECT_EQ(edit("txtStopDelay")->toolTip(), "Delay before pausing record after level falls below threshhold");

    EXPECT_EQ(child<QGroupBox>("Frame1")->title(), "Record Start");
    EXPECT_EQ(child<QGroupBox>("Frame1")->toolTip(), "Remote control:  Record");
    EXPECT_EQ(child<QGroupBox>("Frame3")->title(), "Remote Control");
    EXPECT_EQ(child<QGroupBox>("Frame3")->toolTip(), "Remote control:  Record, Play, EOM, Time Update, Alarm");

    const std::tuple<const char*, const char*, const char*> options[] = {
        {"optMode_0", "Mono", ""},
        {"optMode_1", "Stereo", ""},
        {"optRecord_0", "Off", "Start/Pause option is off.  Recording is continous until manually stopped."},
        {"optRecord_1", "VOX", "Start/Stop is control by threshhold of audio"},
        {"optRecord_2", "Momentary",
         "Start/Stop is controlled by momentary closure on pins 12 and 13 of the parallel port"},
        {"optRecord_3", "Continous",
         "Start/Stop is controlled by a closure on Pin 12 of the remote control.  A closure starts and continues "
         "the recording.  An open pauses the recording."},
        {"Option2_0", "Off",
         "Remote Control is Off.  This position should be selected when a printer is connected to the parallel "
         "port."},
        {"Option2_1", "Parallel ", "Use the Parallel Port for start/pause control."},
        {"Option2_2", "Prairie Digital",
         "The Prairie Digital Model 30 Card is not supported on this machine: nothing documents how to read it. "
         "Choose \"Serial\" and wire the contacts to a serial port's modem lines."},
        {"Option2_3", "Serial",
         "Use a serial port's modem lines for start/pause control: a contact from DTR to DSR starts (pin 12), to "
         "CTS stops (pin 13), to DCD plays."}};
    for (auto [name, caption, tip] : options) {
        EXPECT_EQ(radio(name)->text(), caption) << name;
        EXPECT_EQ(radio(name)->toolTip(), tip) << name;
    }
    EXPECT_EQ(child<QPushButton>("cmdApply")->text(), "Apply");
    EXPECT_EQ(child<QPushButton>("cmdApply")->toolTip(), "Saves settings");
    EXPECT_EQ(child<QPushButton>("cmdClose")->text(), "&Close");
    EXPECT_EQ(child<QPushButton>("cmdClose")->toolTip(), "Exit ");
    EXPECT_FALSE(child<QWidget>("Drive1")->isVisible());

    // The formats with one decimal separator, the locale's (the fixture's is a point).
    EXPECT_EQ(texts(list("List2")), QStringList({"PCM 8.000 kHz", "PCM 11.025 kHz", "PCM 22.050 kHz",
                                                 "PCM 44.100 kHz", "Microsoft ADPCM 22.050",
                                                 "Microsoft ADPCM 44.100"}));
    // The virtual sound card: one device each way, item data = device number.
    EXPECT_EQ(texts(list("lstMM1")), QStringList({"Virtual Output"}));
    EXPECT_EQ(itemData(list("lstMM1")), QList<int>({0}));
    EXPECT_EQ(texts(list("lstMM2")), QStringList({"Virtual Input"}));
}

TEST_F(PreferencesTest, FormatListWritesEveryRateWithTheLocalesDecimalSeparator)
{
    app->clock().setLocale(QLocale(QLocale::German, QLocale::Germany));
    open();
    EXPECT_EQ(texts(list("List2")), QStringList({"PCM 8,000 kHz", "PCM 11,025 kHz", "PCM 22,050 kHz",
                                                 "PCM 44,100 kHz", "Microsoft ADPCM 22,050",
                                                 "Microsoft ADPCM 44,100"}));
}

TEST_F(PreferencesTest, DriveListSkipsFloppiesAndCarriesTheLetterCode)
{
    for (const char* d : {"A", "B", "D", "F"})
        QDir().mkpath(native(d));
    open();
    EXPECT_EQ(texts(list("lstDrv")), QStringList({"C", "D", "F"}));
    EXPECT_EQ(itemData(list("lstDrv")), QList<int>({3, 4, 6}));
}

TEST_F(PreferencesTest, FirstStartShowsDefaultsAndApplyWritesNineRecords)
{
    open();
    EXPECT_EQ(ini().size(), 0);
    EXPECT_EQ(list("lstMM1")->currentRow(), 0);
    EXPECT_EQ(list("lstMM2")->currentRow(), 0);
    EXPECT_EQ(list("List2")->currentRow(), 0);
    EXPECT_EQ(list("lstDrv")->currentItem()->text(), "C");
    EXPECT_TRUE(radio("optMode_0")->isChecked());
    EXPECT_TRUE(radio("optRecord_0")->isChecked());
    EXPECT_TRUE(radio("Option2_0")->isChecked());
    EXPECT_EQ(edit("txtThreshold")->text(), "0");
    EXPECT_EQ(edit("txtStopDelay")->text(), "0");

    list("List2")->setCurrentRow(3);
    radio("optMode_1")->click();
    radio("optRecord_1")->click();
    edit("txtThreshold")->setText("250 loud");
    edit("txtStopDelay")->setText("12.5");
    radio("Option2_2")->click();
    apply();
    EXPECT_EQ(ini(), records({0, 0, 3, 0, 1, 1, 250, 12, 2}));
    EXPECT_EQ(ini().size(), 18);
    EXPECT_EQ(state().FormatIndex, 3);
    EXPECT_EQ(state().VoxThreshold, 250);
    EXPECT_EQ(state().StopDelay, 12);
    EXPECT_EQ(app->messageText(), "");

    // Once the level slider has stored record 11 the file is 22 bytes; Apply keeps it.
    {
        SettingsFile s(app->drives());
        s.open();
        s.write(SettingsRecord::RecordLevel, 20000);
    }
    edit("txtThreshold")->setText("");
    apply();
    EXPECT_EQ(ini(), records({0, 0, 3, 0, 1, 1, 0, 12, 2, 0, 20000}));
    EXPECT_EQ(ini().size(), 22);

    // A new start reads back what was written, and the dialog shows it.
    restart();
    open();
    EXPECT_EQ(state().FormatIndex, 3);
    EXPECT_EQ(list("List2")->currentRow(), 3);
    EXPECT_TRUE(radio("optMode_1")->isChecked());
    EXPECT_TRUE(radio("optRecord_1")->isChecked());
    EXPECT_TRUE(radio("Option2_2")->isChecked());
    EXPECT_EQ(edit("txtStopDelay")->text(), "12");
}

TEST_F(PreferencesTest, RecordStartModeEnablesThresholdAndStopDelay)
{
    open();
    auto* label4 = child<QLabel>("Label4");
    auto* label5 = child<QLabel>("Label5");
    auto* threshold = edit("txtThreshold");
    auto* delay = edit("txtStopDelay");
    EXPECT_FALSE(threshold->isEnabled());
    EXPECT_FALSE(delay->isEnabled());

    radio("optRecord_1")->click(); // VOX
    EXPECT_EQ(state().RecordStartMode, 1);
    EXPECT_TRUE(label4->isEnabled());
    EXPECT_TRUE(threshold->isEnabled());
    EXPECT_TRUE(label5->isEnabled());
    EXPECT_TRUE(delay->isEnabled());

    radio("optRecord_2")->click(); // Momentary
    EXPECT_EQ(state().RecordStartMode, 2);
    EXPECT_FALSE(label4->isEnabled());
    EXPECT_FALSE(threshold->isEnabled());
    EXPECT_TRUE(label5->isEnabled());
    EXPECT_TRUE(delay->isEnabled());

    radio("optRecord_3")->click(); // Continous
    EXPECT_FALSE(threshold->isEnabled());
    EXPECT_TRUE(delay->isEnabled());

    radio("optRecord_0")->click(); // Off
    EXPECT_EQ(state().RecordStartMode, 0);
    EXPECT_FALSE(label4->isEnabled());
    EXPECT_FALSE(threshold->isEnabled());
    EXPECT_FALSE(label5->isEnabled());
    EXPECT_FALSE(delay->isEnabled());

    // The other options change the shared settings at once, before any Apply.
    radio("optMode_1")->click();
    radio("Option2_1")->click();
    EXPECT_EQ(state().ChannelMode, 1);
    EXPECT_EQ(state().RemoteControl, 1);
    EXPECT_EQ(ini().size(), 0);
}

TEST_F(PreferencesTest, LoadWithAStoredModeAppliesTheLoadRule)
{
    // Momentary and Continous stored: the stop delay box comes up disabled; VOX: enabled.
    for (int16_t mode : {2, 3, 1}) {
        const QByteArray bytes = records({0, 0, 0, 0, 0, mode, 900, 40, 0});
        restart();
        open(&bytes);
        EXPECT_TRUE(radio(qPrintable(QString("optRecord_%1").arg(mode)))->isChecked());
        EXPECT_EQ(state().RecordStartMode, mode);
        EXPECT_EQ(edit("txtThreshold")->isEnabled(), mode == 1);
        EXPECT_EQ(edit("txtStopDelay")->isEnabled(), mode == 1);
        EXPECT_EQ(edit("txtThreshold")->text(), "900");
        EXPECT_EQ(edit("txtStopDelay")->text(), "40");
    }
}

TEST_F(PreferencesTest, OverflowIsReportedAndKeepsTheRecordsBeforeIt)
{
    open();
    edit("txtThreshold")->setText("40000");
    apply();
    EXPECT_EQ(app->messageText(), "6 Overflow");
    EXPECT_EQ(ini(), records({0, 0, 0, 0, 0, 0}));

    edit("txtThreshold")->setText("-32768");
    edit("txtStopDelay")->setText("32767.5"); // rounds to 32768
    apply();
    EXPECT_EQ(app->messageText(), "6 Overflow");
    EXPECT_EQ(ini(), records({0, 0, 0, 0, 0, 0, -32768}));
    EXPECT_EQ(state().VoxThreshold, -32768);

    edit("txtStopDelay")->setText("32766.5"); // halves to even: 32766
    apply();
    EXPECT_EQ(ini(), records({0, 0, 0, 0, 0, 0, -32768, 32766, 0}));
}

TEST_F(PreferencesTest, ADriveIsRequiredAndADeviceThatIsGoneLeavesItsListEmpty)
{
    // Record 1 names a second playback card (the machine has one); record 4 names drive E,
    // which does not exist.
    const QByteArray bytes = records({1, 0, 7, 2, 0, 0, 0, 0, 0});
    open(&bytes);
    EXPECT_EQ(list("lstMM1")->currentRow(), -1);
    EXPECT_EQ(list("lstMM2")->currentRow(), 0);
    EXPECT_EQ(list("List2")->currentRow(), -1);
    EXPECT_EQ(list("lstDrv")->currentRow(), -1);
    EXPECT_EQ(list("lstDrv")->selectedItems().size(), 0);

    apply();
    EXPECT_EQ(app->messageText(), "You must select a hard drive.");
    EXPECT_EQ(ini(), bytes);

    // A drive alone is not enough while the playback card is not chosen.
    list("lstDrv")->setCurrentRow(0);
    apply();
    EXPECT_EQ(app->messageText(), "381 Invalid property array index");
    EXPECT_EQ(ini(), bytes);

    list("lstMM1")->setCurrentRow(0);
    apply();
    EXPECT_EQ(ini(), records({0, 0, -1, 0, 0, 0, 0, 0, 0}));
}

TEST_F(PreferencesTest, DriveLetterAndStoredDriveAgreeWhenDrivesHaveGaps)
{
    QDir().mkpath(native("D"));
    QDir().mkpath(native("F"));
    open();
    auto* drv = list("lstDrv");
    ASSERT_EQ(texts(drv), QStringList({"C", "D", "F"}));

    drv->setCurrentRow(2); // F, third in the list
    EXPECT_EQ(state().DriveLetter, "F"); // at once
    EXPECT_FALSE(QDir(native("F/Tamblor")).exists());
    apply();
    // Stored as F's offset from C (3), so start-up names the same drive.
    EXPECT_EQ(ini(), records({0, 0, 0, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(state().DriveIndex, 3);
    EXPECT_EQ(state().DriveLetter, "F");
    EXPECT_TRUE(QDir(native("F/Tamblor")).exists());

    restart();
    open();
    EXPECT_EQ(state().DriveLetter, "F");
    drv = list("lstDrv");
    EXPECT_EQ(drv->currentItem()->text(), "F");
    EXPECT_EQ(drv->currentRow(), 2);

    // Choosing D (no gap before it) stores 1, as on a machine without gaps.
    drv->setCurrentRow(1);
    apply();
    EXPECT_EQ(ini(), records({0, 0, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(state().DriveLetter, "D");
}

TEST_F(PreferencesTest, ApplyCreatesTheFolderOnlyWhenMissingAndCloseWritesNothing)
{
    QDir().mkpath(native("D/Tamblor"));
    writeAllBytes(native("D/Tamblor/SF0001.wav"), "keep");
    open();
    list("lstDrv")->setCurrentRow(1);
    apply();
    EXPECT_EQ(readAllBytes(native("D/Tamblor/SF0001.wav")), "keep");
    EXPECT_EQ(app->messageText(), "");

    // Changes without Apply stay in effect for the run but never reach the file.
    const QByteArray before = ini();
    list("lstDrv")->setCurrentRow(0);
    radio("optMode_1")->click();
    child<QPushButton>("cmdClose")->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(app->windows().find(WindowName::frmMyPreferences));
    EXPECT_EQ(state().DriveLetter, "C");
    EXPECT_EQ(state().ChannelMode, 1);
    EXPECT_EQ(ini(), before);
}

TEST_F(PreferencesTest, ApplyReportsAFolderThatCannotBeCreated)
{
    QDir().mkpath(native("D"));
    writeAllBytes(native("D/Tamblor"), "a file where the folder should be");
    open();
    list("lstDrv")->setCurrentRow(1);
    apply();
    EXPECT_EQ(app->messageText(), "75 Path/File access error");
    EXPECT_EQ(ini(), records({0, 0, 0, 1, 0, 0, 0, 0, 0})); // the records were written first
}

namespace {

// Tab moves the focus into a list the way the keyboard does: a list without a current entry
// makes its first row current, without selecting it.
void tabInto(QListWidget* list)
{
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(list, &in);
}

} // namespace

TEST_F(PreferencesTest, OnlyASelectedEntryCountsAsAChoiceInEveryList)
{
    // Settings that fit none of the lists: card 5 each way, format 9, drive H (missing).
    const QByteArray stored = records({5, 5, 9, 5});
    open(&stored);
    for (const char* name : {"lstMM1", "lstMM2", "List2", "lstDrv"}) {
        tabInto(list(name));
        EXPECT_EQ(list(name)->currentRow(), 0) << name;
        EXPECT_TRUE(list(name)->selectedItems().isEmpty()) << name;
    }
    EXPECT_EQ(state().DriveLetter, "H");

    apply();
    EXPECT_EQ(app->messageText(), "You must select a hard drive.");
    EXPECT_EQ(ini(), stored);

    list("lstDrv")->item(0)->setSelected(true); // the operator picks C
    EXPECT_EQ(state().DriveLetter, "C");
    apply();
    EXPECT_EQ(app->messageText(), "381 Invalid property array index"); // no playback card chosen
    EXPECT_EQ(ini(), stored);

    list("lstMM1")->item(0)->setSelected(true);
    list("lstMM2")->item(0)->setSelected(true);
    app->showMessage("");
    apply();
    EXPECT_EQ(app->messageText(), "");
    EXPECT_EQ(ini(), records({0, 0, -1, 0, 0, 0, 0, 0, 0})); // the format list has no selection
}

TEST_F(PreferencesTest, AfterOverflowTheBoxItIsAboutIsEnabledSelectedAndHasTheFocus)
{
    open(); // start mode Off: both boxes greyed out
    QLineEdit* threshold = edit("txtThreshold");
    QLineEdit* delay = edit("txtStopDelay");
    ASSERT_FALSE(threshold->isEnabled());
    ASSERT_FALSE(delay->isEnabled());
    threshold->setText("40000");
    apply();
    EXPECT_EQ(app->messageText(), "6 Overflow");
    EXPECT_TRUE(threshold->isEnabled());
    EXPECT_TRUE(child<QLabel>("Label4")->isEnabled());
    EXPECT_EQ(threshold->selectedText(), "40000");
    EXPECT_EQ(dlg->focusWidget(), threshold);
    EXPECT_FALSE(delay->isEnabled());

    threshold->setText("300");
    delay->setText("99999");
    apply();
    EXPECT_EQ(app->messageText(), "6 Overflow");
    EXPECT_TRUE(delay->isEnabled());
    EXPECT_TRUE(child<QLabel>("Label5")->isEnabled());
    EXPECT_EQ(delay->selectedText(), "99999");
    EXPECT_EQ(dlg->focusWidget(), delay);
}

TEST_F(PreferencesTest, LoudnessAndSilenceGoToTamblorIniAndMyCompIniKeepsItsElevenRecords)
{
    const QByteArray eleven = records({0, 0, 3, 0, 1, 2, 250, 12, 0, 0, 20000});
    open(&eleven);
    auto* scale = child<QComboBox>("cboMeterScale");
    EXPECT_EQ(child<QGroupBox>("fraLoudness")->title(), "Loudness meter and silence alarm");
    // Defaults before anything is stored.
    EXPECT_EQ(scale->currentData().toInt(), 9);
    EXPECT_EQ(scale->currentText(), "EBU +9 (-41 to -14 LUFS)");
    EXPECT_EQ(edit("txtCeiling")->text(), "-1");
    EXPECT_EQ(edit("txtSilenceThreshold")->text(), "-40");
    EXPECT_EQ(edit("txtSilenceTime")->text(), "20");
    EXPECT_EQ(edit("txtSilenceCommand")->text(), "");
    const QString tamblorIni = native("C/Tamblor/Tamblor.ini");
    EXPECT_FALSE(QFileInfo::exists(tamblorIni));

    scale->setCurrentIndex(1);
    edit("txtCeiling")->setText("-2.5");
    edit("txtSilenceThreshold")->setText("-45");
    edit("txtSilenceTime")->setText("30");
    edit("txtSilenceCommand")->setText("/usr/local/bin/alarm \"studio 2\"");
    apply();
    EXPECT_EQ(app->messageText(), "");
    EXPECT_EQ(ini(), eleven); // the same eleven records, byte for byte
    const LoudnessPreferences stored = ProgramSettings(app->drives()).loudness();
    EXPECT_EQ(stored.meterScale, 18);
    EXPECT_EQ(stored.truePeakCeilingDbtp, -2.5);
    EXPECT_EQ(stored.silenceThresholdDbfs, -45.0);
    EXPECT_EQ(stored.silenceSeconds, 30.0);
    EXPECT_EQ(stored.silenceCommand, "/usr/local/bin/alarm \"studio 2\"");
    const QByteArray text = readAllBytes(tamblorIni);
    EXPECT_TRUE(text.contains("[SilenceAlarm]")) << text.toStdString();
    EXPECT_TRUE(text.contains("Threshold=-45")) << text.toStdString();

    // A value out of its range is reported, its box made ready to mend, and nothing is stored.
    edit("txtSilenceThreshold")->setText("-0.5");
    edit("txtSilenceTime")->setText("5");
    list("List2")->setCurrentRow(1);
    apply();
    EXPECT_EQ(app->messageText(), "The silence threshold must be a number from -90 to -1.");
    EXPECT_EQ(edit("txtSilenceThreshold")->selectedText(), "-0.5");
    EXPECT_EQ(ini(), eleven);
    EXPECT_EQ(readAllBytes(tamblorIni), text);
    edit("txtSilenceThreshold")->setText("loud");
    apply();
    EXPECT_EQ(readAllBytes(tamblorIni), text);
    edit("txtSilenceThreshold")->setText("-45");
    edit("txtSilenceTime")->setText("0");
    apply();
    EXPECT_EQ(app->messageText(), "The silence time must be a number from 1 to 3,600.");
    EXPECT_EQ(readAllBytes(tamblorIni), text);

    // A new start shows what was stored.
    restart();
    open();
    EXPECT_EQ(child<QComboBox>("cboMeterScale")->currentData().toInt(), 18);
    EXPECT_EQ(edit("txtCeiling")->text(), "-2.5");
    EXPECT_EQ(edit("txtSilenceThreshold")->text(), "-45");
    EXPECT_EQ(edit("txtSilenceTime")->text(), "30");
    EXPECT_EQ(edit("txtSilenceCommand")->text(), "/usr/local/bin/alarm \"studio 2\"");

    // A damaged or out-of-range value in the file reads as its default.
    writeAllBytes(tamblorIni, "[Loudness]\nMeterScale=12\nTruePeakCeiling=3\n[SilenceAlarm]\nThreshold=loud\nSeconds=7\n");
    const LoudnessPreferences damaged = ProgramSettings(app->drives()).loudness();
    EXPECT_EQ(damaged.meterScale, 9);
    EXPECT_EQ(damaged.truePeakCeilingDbtp, -1.0);
    EXPECT_EQ(damaged.silenceThresholdDbfs, -40.0);
    EXPECT_EQ(damaged.silenceSeconds, 7.0);
}

TEST_F(PreferencesTest, RemoteControlShowsTheInputsLiveOffersTheSerialPortAndSaysPrairieDigitalIsNotSupported)
{
    // The studio's remote lines, on virtual lines standing in for the parallel port.
    Studio studio(*app);
    studio.setTimerRunning(false);
    auto wiring = std::make_shared<remote::VirtualWiring>();
    studio.remote().setOpener([wiring](const remote::LineMap& m) { return std::make_unique<remote::VirtualLines>(wiring, m.port); });
    app->windows().registerWindow(WindowName::frmMyPreferences,
                                  [&studio](Application& a) { return new frmMyPreferences(a, &studio.remote()); });
    QByteArray settings(22, '\0');
    settings[16] = 1; // record 9: the parallel port
    open(&settings);
    auto* lines = child<QLabel>("lblRemoteLines");
    auto* port = child<QComboBox>("cboRemotePort");
    EXPECT_EQ(lines->text(), "Remote lines: /dev/parport0  Record (pin 12) open  Stop (pin 13) open  Play (pin 10) open");
    EXPECT_EQ(port->currentText(), "/dev/parport0");
    wiring->set(2, true); // pin 12 closed
    wiring->advanceMs(30);
    studio.remote().poll();
    EXPECT_EQ(lines->text(),
              "Remote lines: /dev/parport0  Record (pin 12) closed  Stop (pin 13) open  Play (pin 10) open");

    // The unsupported card says so.
    radio("Option2_2")->click();
    EXPECT_EQ(lines->text(), "Prairie Digital is not supported on this machine: choose Serial.");
    EXPECT_FALSE(port->isEnabled());

    // The serial choice: its port typed in is stored in Tamblor.ini by Apply, record 9 is 3.
    radio("Option2_3")->click();
    EXPECT_EQ(state().RemoteControl, 3);
    EXPECT_TRUE(port->isEnabled());
    port->setCurrentText("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    apply();
    EXPECT_EQ(ini().mid(16, 2), QByteArray("\x03\x00", 2));
    EXPECT_EQ(ProgramSettings(app->drives()).remoteLines(remote::LinePort::Kind::Serial).port,
              "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(ini().size(), 22) << "MyComp.ini keeps its two-byte records";
    dlg->close();
}
