// The library window: controls, menus, load and unload.
#include "wavefiles/frmWaveFiles.h"
#include "audio/jobs/Job.h"
#include "app/Application.h"
#include "app/ButtonColour.h"
#include "app/Controls.h"
#include "core/SettingsFile.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LevelScale.h"
#include "audio/widgets/LoudnessPanel.h"
#include "audio/widgets/Slider.h"
#include "wavefiles/SortedListBox.h"
#include "platform/Clock.h"
#include "platform/Failure.h"
#include <QAction>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace tamblor {

namespace {

QAction* menuEntry(QMenu* menu, const char* name, const QString& caption)
{
    auto* a = controls::named(new QAction(caption, menu), name);
    menu->addAction(a);
    return a;
}

} // namespace

frmWaveFiles::frmWaveFiles(Application& app, Studio& studio)
    : Form(app, WindowName::frmWaveFiles), studio_(studio)
{
    setWindowTitle("WaveFiles");
    buildControls();
    printJob_ = new jobs::Job(this);
    connect(printJob_, &jobs::Job::finished, this, &frmWaveFiles::printEnded);

    using RS = RecordingSession;
    using PS = PlaybackSession;
    RecordingSession* rec = &recording();
    connect(rec, &RS::levelsChanged, this, [this](int left, int right) {
        LevelLeft = left;
        LevelRight = right;
        feedMeters(left, right);
    });
    connect(rec, &RS::stateChanged, this, &frmWaveFiles::showRecordingState);
    connect(rec, &RS::elapsedChanged, lblTime, &QLabel::setText);
    // Still not idle while the new entry is selected, so the detail boxes only show it.
    connect(rec, &RS::takeCompleted, this, [this] { RebuildList(Reselect::TakeSlot); });
    connect(rec, &RS::automaticChanged, Check1, &QCheckBox::setChecked);
    connect(Check1, &QCheckBox::toggled, rec, &RS::setAutomatic);
    connect(&playback(), &PS::stateChanged, this, &frmWaveFiles::showPlaybackState);
    connect(&playback(), &PS::ended, this, [this] { WavePlayer_PlaybackEnded(); });
    connect(&library(), &SoundLibrary::slotChanged, this, [this](int slot) { trap([this, slot] { followSlot(slot); }); });
    // The studio applies the settings; the window shows what they are.
    connect(&app, &Core::settingsChanged, this, &frmWaveFiles::showCaption);
    connect(&app, &Core::settingsApplied, this, [this] {
        showCaption();
        trap([this] { takeLoudnessPreferences(); });
    });
    connect(&studio_.watch(), &ProgrammeWatch::updated, this, &frmWaveFiles::showProgramme);
    connect(&studio_.figures(), &store::TakeFiguresStore::figuresChanged, this, &frmWaveFiles::followFigures);
    connect(&studio_.measurer(), &TakeMeasurer::started, this, &frmWaveFiles::followFigures);
    connect(&studio_.measurer(), &TakeMeasurer::measured, this, &frmWaveFiles::followFigures);
    connect(Loudness1, &audio::LoudnessPanel::resetClicked, &studio_.watch(), &ProgrammeWatch::resetMeter);
    connect(&studio_.remote(), &RemoteControl::linesChanged, this, &frmWaveFiles::showRemoteLines);
    showRemoteLines();
}

void frmWaveFiles::showRemoteLines() { lblRemoteLines->setText(studio_.remote().stateText()); }

frmWaveFiles::~frmWaveFiles()
{
    // The sessions and the library outlive the window: it stops listening.
    if (Timer1)
        Timer1->stop();
    recording().disconnect(this);
    playback().disconnect(this);
    library().disconnect(this);
    studio_.watch().disconnect(this);
    studio_.figures().disconnect(this);
    studio_.measurer().disconnect(this);
    studio_.remote().disconnect(this);
}

LibraryWindowFields& frmWaveFiles::fields() { return app().fields<LibraryWindowFields>(); }

void frmWaveFiles::buildControls()
{
    auto* outer = new QVBoxLayout(this);
    auto* bar = controls::named(new QMenuBar(this), "MenuBar");
    outer->setMenuBar(bar);
    buildMenus(bar);

    // The silence alarm, seen from across the room; hidden until raised.
    lblSilence = controls::label(this, "lblSilence");
    QFont alarmFont = lblSilence->font();
    alarmFont.setPointSize(alarmFont.pointSize() + 10);
    alarmFont.setBold(true);
    lblSilence->setFont(alarmFont);
    lblSilence->setAlignment(Qt::AlignCenter);
    lblSilence->setAutoFillBackground(true);
    QPalette alarmColours = lblSilence->palette();
    alarmColours.setColor(QPalette::Window, QColor(220, 0, 0));
    alarmColours.setColor(QPalette::WindowText, Qt::white);
    lblSilence->setPalette(alarmColours);
    lblSilence->setMargin(8);
    // Its strip is kept while it is hidden, and its text never widens the window: the band
    // comes and goes without moving anything else or resizing the window.
    QSizePolicy bandPolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    bandPolicy.setRetainSizeWhenHidden(true);
    lblSilence->setSizePolicy(bandPolicy);
    lblSilence->setText("SILENCE");
    lblSilence->setFixedHeight(lblSilence->sizeHint().height());
    lblSilence->clear();
    lblSilence->setVisible(false);
    outer->addWidget(lblSilence);

    auto* body = new QHBoxLayout;
    outer->addLayout(body);

    // The list.
    lstSoundFile = controls::named(new SortedListBox(this), "lstSoundFile");
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(10);
    lstSoundFile->setFont(fixed);
    lstSoundFile->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(36, 'W')));
    lstSoundFile->setMinimumHeight(320);
    body->addWidget(lstSoundFile, 3);

    // Details and transport.
    auto* middle = new QVBoxLayout;
    body->addLayout(middle, 2);

    auto* details = new QGroupBox(this);
    auto* grid = new QGridLayout(details);
    txtNumber = controls::textBox(details, "txtNumber");
    txtNumber->setMaxLength(3);
    txtNumber->setMaximumWidth(60);
    txtNumber->setToolTip("Type a number and press Enter to select that file");
    lblNumber = controls::label(details, "lblNumber");
    QFont big = lblNumber->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    lblNumber->setFont(big);
    lblNumber->setMinimumWidth(60);
    txtName = controls::textBox(details, "txtName");
    txtName->setMaxLength(25);
    txtLength = controls::textBox(details, "txtLength");
    txtLength->setMaxLength(8);
    txtRecordDate = controls::textBox(details, "txtRecordDate");
    txtRecordDate->setMaxLength(8);
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(txtNumber);
    numberRow->addWidget(lblNumber);
    numberRow->addStretch();
    grid->addWidget(controls::label(details, "lblNumberCaption", "Number"), 0, 0);
    grid->addLayout(numberRow, 0, 1);
    grid->addWidget(controls::label(details, "lblName", "Name"), 1, 0);
    grid->addWidget(txtName, 1, 1);
    grid->addWidget(controls::label(details, "lblLength", "Length"), 2, 0);
    grid->addWidget(txtLength, 2, 1);
    grid->addWidget(controls::label(details, "lblDate", "Date"), 3, 0);
    grid->addWidget(txtRecordDate, 3, 1);
    lblFigures = controls::label(details, "lblFigures");
    lblFigures->setToolTip("Integrated loudness, loudness range and true peak of the file");
    grid->addWidget(controls::label(details, "lblFiguresCaption", "Loudness"), 4, 0);
    grid->addWidget(lblFigures, 4, 1);
    middle->addWidget(details);

    auto* transport = new QHBoxLayout;
    cmdRecord = controls::button(this, "cmdRecord", "&Record");
    cmdPlay = controls::button(this, "cmdPlay", "&Play");
    cmdPause = controls::button(this, "cmdPause", "P&ause");
    cmdStop = controls::button(this, "cmdStop", "&Stop");
    QFont bold = cmdRecord->font();
    bold.setBold(true);
    for (QPushButton* b : {cmdRecord, cmdPlay, cmdPause, cmdStop}) {
        b->setFont(bold);
        b->setMinimumHeight(36);
        b->setMinimumWidth(b == cmdRecord ? 124 : 84); // room for "Recording "
        transport->addWidget(b);
    }
    setButtonColour(cmdRecord, RecordStopped);
    setButtonColour(cmdPlay, PlayIdle);
    setButtonColour(cmdPause, PauseIdle);
    setButtonColour(cmdStop, QColor(224, 224, 224));
    middle->addLayout(transport);

    TrackBar = controls::named(new audio::Slider(Qt::Horizontal, this), "TrackBar");
    TrackBar->setToolTip("Play position");
    middle->addWidget(TrackBar);

    auto* timeRow = new QHBoxLayout;
    lblTime = controls::label(this, "lblTime");
    QFont timeFont = fixed;
    timeFont.setPointSize(16);
    timeFont.setBold(true);
    lblTime->setFont(timeFont);
    lblTime->setMinimumWidth(QFontMetrics(timeFont).horizontalAdvance(" 00:00:00 "));
    Check1 = controls::checkBox(this, "Check1", "Auto Start");
    timeRow->addWidget(lblTime);
    timeRow->addStretch();
    timeRow->addWidget(Check1);
    middle->addLayout(timeRow);

    Label1 = controls::label(this, "Label1");
    middle->addWidget(Label1);
    // The remote lines: the port and each wired input closed or open, as they change.
    lblRemoteLines = controls::label(this, "lblRemoteLines");
    lblRemoteLines->setWordWrap(true);
    lblRemoteLines->setToolTip("The remote control's lines as the program reads them now");
    middle->addWidget(lblRemoteLines);
    middle->addStretch();

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    cmdClose = controls::button(this, "cmdClose", "&Close");
    cmdClose->setMinimumHeight(30);
    closeRow->addWidget(cmdClose);
    middle->addLayout(closeRow);

    // Record level and meters.
    auto* levels = new QVBoxLayout;
    auto* meters = new QHBoxLayout;
    Slider = controls::named(new audio::Slider(Qt::Vertical, this), "Slider");
    Slider->setMaxValue(32768);
    Slider->setToolTip("Sets incoming audio level");
    Level1 = controls::named(new audio::LevelMeter(Qt::Vertical, this), "Level1");
    Level2 = controls::named(new audio::LevelMeter(Qt::Vertical, this), "Level2");
    for (audio::LevelMeter* meter : {Level1, Level2})
        meter->setTimeSource([&clock = app().clock()] { return clock.steadyMs(); });
    LevelScale1 = controls::named(new audio::LevelScale(Qt::Vertical, this), "LevelScale1");
    // The meters keep their width when the window is made small.
    for (audio::LevelMeter* m : {Level1, Level2})
        m->setMinimumSize(m->sizeHint().width(), 60);
    meters->addWidget(Slider);
    meters->addWidget(LevelScale1);
    meters->addWidget(Level1);
    meters->addWidget(Level2);
    levels->addLayout(meters, 1);
    auto* channels = new QHBoxLayout;
    channels->addStretch();
    for (const char* side : {"L", "R"}) {
        auto* caption = new QLabel(side, this);
        caption->setAlignment(Qt::AlignCenter);
        caption->setFixedWidth(Level1->sizeHint().width());
        channels->addWidget(caption);
    }
    levels->addLayout(channels);
    Label3 = controls::label(this, "Label3");
    Label3->setToolTip("Click to reset slider to 0 db");
    Label3->setAlignment(Qt::AlignCenter);
    levels->addWidget(Label3);
    body->addLayout(levels);

    // The live loudness.
    auto* loudness = controls::frame(this, "fraLoudness", "Loudness");
    auto* loudnessLayout = new QVBoxLayout(loudness);
    Loudness1 = controls::named(new audio::LoudnessPanel(loudness), "Loudness1");
    loudnessLayout->addWidget(Loudness1);
    body->addWidget(loudness);

    Timer1 = controls::named(new QTimer(this), "Timer1");

    // Wiring.
    connect(lstSoundFile, &QListWidget::itemSelectionChanged, this, [this] {
        if (selecting_ || lstSoundFile->selectedRow() < 0)
            return;
        clickHandled_ = true;
        trap([this] { lstSoundFile_Click(); });
    });
    connect(lstSoundFile, &QListWidget::itemClicked, this, [this] {
        // A click on the entry that is already selected runs the selection handling too.
        if (!clickHandled_)
            trap([this] { lstSoundFile_Click(); });
        clickHandled_ = false;
    });
    connect(txtName, &QLineEdit::textChanged, this, [this] { trap([this] { txtName_Change(); }); });
    // What the operator types while recording names the take under way (filling the box from
    // the list does not).
    connect(txtName, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (recording().recordState() != 0)
            recording().nameTake(text);
    });
    connect(txtLength, &QLineEdit::textChanged, this, [this] { trap([this] { txtLength_Change(); }); });
    connect(txtName, &QLineEdit::returnPressed, this, [this] { trap([this] { txtName_KeyPress(13); }); });
    connect(txtNumber, &QLineEdit::returnPressed, this, [this] { trap([this] { txtNumber_KeyPress(13); }); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    connect(cmdRecord, &QPushButton::clicked, this, [this] { trap([this] { cmdRecord_Click(); }); });
    connect(cmdPlay, &QPushButton::clicked, this, [this] { trap([this] { cmdPlay_Click(); }); });
    connect(cmdPause, &QPushButton::clicked, this, [this] { trap([this] { cmdPause_Click(); }); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { trap([this] { cmdStop_Click(); }); });
    connect(TrackBar, &audio::Slider::movedByUser, this, [this] { trap([this] { TrackBar_MovedByUser(); }); });
    connect(Slider, &audio::Slider::positionChanged, this, [this] { trap([this] { Slider_Change(); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    lstSoundFile->installEventFilter(this);
    lstSoundFile->viewport()->installEventFilter(this);
    txtName->installEventFilter(this);
    txtNumber->installEventFilter(this);
    Label3->installEventFilter(this);
    cmdStop->installEventFilter(this);
}

void frmWaveFiles::buildMenus(QMenuBar* bar)
{
    mnuFiles = controls::named(bar->addMenu("Files"), "mnuFiles");
    mnuExport = menuEntry(mnuFiles, "mnuExport", "Export");
    mnuPrint = menuEntry(mnuFiles, "mnuPrint", "Print");
    mnuFileIndex = controls::named(mnuFiles->addMenu("File Index"), "mnuFileIndex");
    mnuFileIndexView = menuEntry(mnuFileIndex, "mnuFileIndexView", "View Index that may need updating");
    mnuFileIndexDelete = menuEntry(mnuFileIndex, "mnuFileIndexDelete", "Delete File Index");
    mnuExit = menuEntry(mnuFiles, "mnuExit", "Exit");

    mnuView = controls::named(bar->addMenu("View"), "mnuView");
    mnuViewName = menuEntry(mnuView, "mnuViewName", "Names");
    mnuViewNumber = menuEntry(mnuView, "mnuViewNumber", "Number");

    mnuDelete = controls::named(new QAction("&Delete", this), "mnuDelete");
    bar->addAction(mnuDelete);
    mnuDelete->setVisible(false);
    mnuImportFile = controls::named(new QAction("&ImportFile", this), "mnuImportFile");
    bar->addAction(mnuImportFile);
    mnuImportFile->setVisible(false);
    mnuCDRip = controls::named(new QAction("CDRip", this), "mnuCDRip");
    bar->addAction(mnuCDRip);
    mnuCDRip->setVisible(false);

    // The list's right-button menu; never on the menu bar.
    mnuHiddenPopup = controls::named(new QMenu(this), "mnuHiddenPopup");
    mnuHiddenPopupPlay = menuEntry(mnuHiddenPopup, "mnuHiddenPopupPlay", "Play");
    mnuHiddenPopupStop = menuEntry(mnuHiddenPopup, "mnuHiddenPopupStop", "Stop");
    mnuHiddenPopupRefresh = menuEntry(mnuHiddenPopup, "mnuHiddenPopupRefresh", "Refresh");
    mnuHiddenPopupSendTo = menuEntry(mnuHiddenPopup, "mnuHiddenPopupSendTo", "Send To");
    mnuHiddenPopupDelete = menuEntry(mnuHiddenPopup, "mnuHiddenPopupDelete", "Delete");

    auto on = [this](QAction* a, void (frmWaveFiles::*handler)()) {
        connect(a, &QAction::triggered, this, [this, handler] { trap([this, handler] { (this->*handler)(); }); });
    };
    on(mnuExport, &frmWaveFiles::mnuExport_Click);
    on(mnuPrint, &frmWaveFiles::mnuPrint_Click);
    on(mnuFileIndexView, &frmWaveFiles::mnuFileIndexView_Click);
    on(mnuFileIndexDelete, &frmWaveFiles::mnuFileIndexDelete_Click);
    on(mnuExit, &frmWaveFiles::mnuExit_Click);
    on(mnuViewName, &frmWaveFiles::mnuViewName_Click);
    on(mnuViewNumber, &frmWaveFiles::mnuViewNumber_Click);
    on(mnuDelete, &frmWaveFiles::mnuDelete_Click);
    on(mnuHiddenPopupPlay, &frmWaveFiles::cmdPlay_Click);
    on(mnuHiddenPopupStop, &frmWaveFiles::cmdStop_Click);
    on(mnuHiddenPopupRefresh, &frmWaveFiles::mnuHiddenPopupRefresh_Click);
    on(mnuHiddenPopupSendTo, &frmWaveFiles::mnuHiddenPopupSendTo_Click);
    on(mnuHiddenPopupDelete, &frmWaveFiles::mnuHiddenPopupDelete_Click);
}

void frmWaveFiles::trap(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Failure& f) {
        app().showMessage(f.text());
    } catch (const std::exception& e) {
        app().showMessage(QString::fromLocal8Bit(e.what()));
    }
}

void frmWaveFiles::showDeleteMenus(bool shown)
{
    mnuDelete->setVisible(shown);
    mnuHiddenPopupDelete->setEnabled(shown);
}

void frmWaveFiles::Form_Load()
{
    // 1. The record level (settings record 11), shown on the slider and stored again, as the
    // slider's change handling has always done (a settings file that cannot be written fails
    // the load). The studio applies it.
    showingLevel_ = true;
    Slider->setPosition(app().state().RecordLevel);
    showingLevel_ = false;
    showLevel();
    app().setRecordLevel(Slider->position());

    // 2. Playback bookkeeping.
    Paused = false;

    // 3. The display timer (time remaining, the playing position); the studio ticks the sessions.
    Timer1->setInterval(50);
    Timer1->start();

    // 4 to 8. Automatic start and the caption, as the studio applied the settings.
    showCaption();
    Check1->setChecked(recording().automatic());
    showCaption();
    takeLoudnessPreferences();

    // 9. Names first.
    fields().ViewMode = 0;
    LoadWaveFiles();

    showTakeUnderWay();
    showProgramme();
}

void frmWaveFiles::Form_Unload(bool& cancel)
{
    Q_UNUSED(cancel);
    Timer1->stop();
    playback().handle(PlaybackSession::Event::WindowClosing);
    // A take started here that has started writing is kept as a finished entry; an armed slot
    // is freed. A take another client started goes on.
    if (startedTake_)
        trap([this] { recording().handle(RecordingSession::Event::WindowClosing); });
    startedTake_ = false;
}

void frmWaveFiles::showCaption()
{
    // What the next take records: a take under way keeps the channels it started with.
    if (recording().state() != RecordingSession::State::Idle)
        return;
    const auto& st = app().state();
    if (st.ChannelMode == 0)
        setWindowTitle("Record Mono");
    else if (st.ChannelMode == 1)
        setWindowTitle("Record Stereo");
}

void frmWaveFiles::cmdClose_Click() { close(); }
void frmWaveFiles::mnuExit_Click() { close(); }

bool frmWaveFiles::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == lstSoundFile->viewport()) {
        if (type == QEvent::MouseButtonPress) {
            clickHandled_ = false;
        } else if (type == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::RightButton) {
                const QPoint global = me->globalPosition().toPoint();
                // After the list has handled the release (and its click).
                QTimer::singleShot(0, this, [this, global] { trap([&] { lstSoundFile_MouseUp(Qt::RightButton, global); }); });
            }
        }
    } else if (watched == lstSoundFile && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        trap([&] { lstSoundFile_KeyDown(key); });
    } else if (type == QEvent::MouseButtonDblClick) {
        if (watched == txtName) {
            trap([this] { txtName_DblClick(); });
            return true;
        }
        if (watched == txtNumber) {
            trap([this] { txtNumber_DblClick(); });
            return true;
        }
        if (watched == Label3) {
            trap([this] { Label3_DblClick(); });
            return true;
        }
    } else if (watched == cmdStop && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Any key stops; focus moves and lone modifiers are not key presses of their own.
        const bool navigation = key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Shift ||
                                key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta;
        if (!navigation) {
            trap([this] { cmdStop_KeyPress(); });
            return true;
        }
    }
    return Form::eventFilter(watched, event);
}

// Maintenance: the delete confirmation window is opened here when it exists; the rest of the
// commands are built with the delete dialog, the printout and the send-to window.
} // namespace tamblor
