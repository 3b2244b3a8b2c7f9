#include "editor/frmEditor.h"
#include "app/Application.h"
#include "app/ButtonColour.h"
#include "app/Controls.h"
#include "app/PromptService.h"
#include "audio/devices/FilePlayer.h"
#include "audio/files/WaveHelper.h"
#include "audio/jobs/Job.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LevelScale.h"
#include "audio/widgets/Oscope.h"
#include "editor/CutCopy.h"
#include "editor/EditorMath.h"
#include "browse/DriveList.h"
#include "browse/FileList.h"
#include "browse/FolderList.h"
#include "platform/Failure.h"
#include "platform/FileReleaser.h"
#include "platform/NativeFile.h"
#include "platform/NumericText.h"
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>
#include <vector>

namespace tamblor {

namespace {

const QColor kGreen(0x00, 0x80, 0x00);
const QColor kLightGreen(0x80, 0xFF, 0x80);
const QColor kPaleGreen(0xC0, 0xFF, 0xC0);

int32_t clampInt32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Bytes of one whole frame as the peak scan reads it, so a block never starts inside a frame.
int64_t frameUnit(const audio::WaveFormat& f)
{
    if (f.isPcm())
        return std::max(1, f.blockAlign);
    return std::max(1, f.bitsPerSample <= 8 ? f.channels : 2 * f.channels);
}

} // namespace

EditorFields& frmEditor::fields() { return app().fields<EditorFields>(); }

frmEditor::frmEditor(Application& app) : Form(app, WindowName::frmEditor)
{
    setWindowTitle("Editor");

    menuBar = controls::named(new QMenuBar(this), "menuBar");
    menuBar->setNativeMenuBar(false);
    mnuFiles = menuBar->addMenu("Files");
    mnuFiles->setObjectName("mnuFiles");
    mnuLoad = mnuFiles->addAction("Load");
    mnuLoad->setObjectName("mnuLoad");
    mnuExit = mnuFiles->addAction("Exit");
    mnuExit->setObjectName("mnuExit");
    connect(mnuLoad, &QAction::triggered, this, &frmEditor::mnuLoad_Click);
    connect(mnuExit, &QAction::triggered, this, &frmEditor::mnuExit_Click);

    mnuHiddenPopup = controls::named(new QMenu(this), "mnuHiddenPopup");
    mnuExportStart = mnuHiddenPopup->addAction("Export Start");
    mnuExportStart->setObjectName("mnuExportStart");
    mnuExportStop = mnuHiddenPopup->addAction("Export Stop");
    mnuExportStop->setObjectName("mnuExportStop");
    mnuExport = mnuHiddenPopup->addAction("Export");
    mnuExport->setObjectName("mnuExport");
    mnuDelete = mnuHiddenPopup->addAction("Delete");
    mnuDelete->setObjectName("mnuDelete");
    connect(mnuExportStart, &QAction::triggered, this, &frmEditor::mnuExportStart_Click);
    connect(mnuExportStop, &QAction::triggered, this, &frmEditor::mnuExportStop_Click);
    connect(mnuExport, &QAction::triggered, this, &frmEditor::mnuExport_Click);
    connect(mnuDelete, &QAction::triggered, this, &frmEditor::mnuDelete_Click);

    Drive1 = controls::named(new DriveList(app.drives(), this), "Drive1");
    Dir1 = controls::named(new FolderList(app.drives(), this), "Dir1");
    File1 = controls::named(new FileList(app.drives(), this), "File1");
    connect(Drive1, &DriveList::driveChanged, this, &frmEditor::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &frmEditor::Dir1_Change);
    connect(File1, &FileList::fileClicked, this, &frmEditor::File1_Click);

    Oscope = controls::named(new audio::Oscope(this), "Oscope");
    Oscope->setGain(10);
    Oscope->setUseSelection(true);
    Oscope->setEnabled(false);
    Oscope->setMinimumHeight(160);
    Oscope->installEventFilter(this);
    connect(Oscope, &audio::Oscope::buttonPressed, this, &frmEditor::Oscope_ButtonPressed);
    connect(Oscope, &audio::Oscope::buttonReleased, this, &frmEditor::Oscope_ButtonReleased);

    cmd1 = controls::button(this, "cmd1", "1  S");
    cmd2 = controls::button(this, "cmd2", "10 S");
    cmd3 = controls::button(this, "cmd3", "1 M");
    cmd4 = controls::button(this, "cmd4", "10 M");
    cmd5 = controls::button(this, "cmd5", "Full");
    connect(cmd1, &QPushButton::clicked, this, [this] { cmd_Click(1); });
    connect(cmd2, &QPushButton::clicked, this, [this] { cmd_Click(10); });
    connect(cmd3, &QPushButton::clicked, this, [this] { cmd_Click(60); });
    connect(cmd4, &QPushButton::clicked, this, [this] { cmd_Click(600); });
    connect(cmd5, &QPushButton::clicked, this, &frmEditor::cmd5_Click);
    cmdBegin = controls::button(this, "cmdBegin", "<<");
    cmdRwd = controls::button(this, "cmdRwd", "<");
    cmdFF = controls::button(this, "cmdFF", ">");
    for (QPushButton* b : {cmdBegin, cmdRwd, cmdFF})
        setButtonColour(b, kPaleGreen);
    cmdBegin->setToolTip("Rewind in increments of track bar range");
    cmdRwd->setToolTip("Rewind in increments of track bar range");
    cmdFF->setToolTip("Fast Forward in increments of track bar range");
    connect(cmdBegin, &QPushButton::clicked, this, &frmEditor::cmdBegin_Click);
    connect(cmdRwd, &QPushButton::clicked, this, &frmEditor::cmdRwd_Click);
    connect(cmdFF, &QPushButton::clicked, this, &frmEditor::cmdFF_Click);
    cmdPlay = controls::button(this, "cmdPlay", "&Play");
    setButtonColour(cmdPlay, kGreen);
    cmdStop = controls::button(this, "cmdStop", "&Stop");
    setButtonColour(cmdStop, Qt::white);
    cmdGain = controls::button(this, "cmdGain", "Gain");
    connect(cmdPlay, &QPushButton::clicked, this, &frmEditor::cmdPlay_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmEditor::cmdStop_Click);
    connect(cmdGain, &QPushButton::clicked, this, &frmEditor::cmdGain_Click);

    lblUp = controls::label(this, "lblUp");
    lblUp->setVisible(false);
    lblUp->setMinimumWidth(70);
    Label1 = controls::label(this, "Label1");
    Label1->setMinimumWidth(120);
    Label2 = controls::label(this, "Label2");
    Label2->setMinimumWidth(200);

    Timer1 = controls::named(new QTimer(this), "Timer1");
    Timer1->setInterval(25);
    connect(Timer1, &QTimer::timeout, this, &frmEditor::Timer1_Timer);

    WavePlayer = controls::named(new audio::FilePlayer(app.audio(), this), "WavePlayer");
    WavePlayer->setTimeFormat(audio::FilePlayer::TimeFormat::Bytes);
    WavePlayer->setDeviceId(0);
    connect(WavePlayer, &audio::FilePlayer::playbackStarted, this, &frmEditor::WavePlayer_Started);
    connect(WavePlayer, &audio::FilePlayer::playbackEnded, this, &frmEditor::WavePlayer_Stopped);

    // The meters follow the player's output while it plays.
    MMLevelX1 = controls::named(new audio::LevelMeter(Qt::Vertical, this), "MMLevelX1");
    MMLevelX2 = controls::named(new audio::LevelMeter(Qt::Vertical, this), "MMLevelX2");
    MMLevelScaleX1 = controls::named(new audio::LevelScale(Qt::Vertical, this), "MMLevelScaleX1");
    meterTimer_ = new QTimer(this);
    meterTimer_->setInterval(audio::LevelMeter::kTickMs);
    connect(meterTimer_, &QTimer::timeout, this, [this] {
        const audio::PeakLevels levels = WavePlayer->levels();
        MMLevelX1->setValue(levels.left);
        MMLevelX2->setValue(levels.right);
    });

    auto* browse = new QHBoxLayout;
    auto* drives = new QVBoxLayout;
    drives->addWidget(Drive1);
    drives->addWidget(Dir1, 1);
    browse->addLayout(drives, 1);
    browse->addWidget(File1, 1);

    auto* view = new QVBoxLayout;
    view->addLayout(browse, 1);
    view->addWidget(Oscope, 2);

    auto* meters = new QHBoxLayout;
    meters->setSpacing(2);
    meters->addWidget(MMLevelX1);
    meters->addWidget(MMLevelScaleX1);
    meters->addWidget(MMLevelX2);

    auto* top = new QHBoxLayout;
    top->addLayout(view, 1);
    top->addLayout(meters);

    auto* zoom = new QHBoxLayout;
    for (QPushButton* b : {cmd1, cmd2, cmd3, cmd4, cmd5})
        zoom->addWidget(b);
    zoom->addSpacing(12);
    for (QPushButton* b : {cmdBegin, cmdRwd, cmdFF, cmdPlay, cmdStop})
        zoom->addWidget(b);
    zoom->addSpacing(12);
    zoom->addWidget(cmdGain);
    zoom->addStretch();

    auto* labels = new QHBoxLayout;
    labels->addWidget(lblUp);
    labels->addWidget(Label2);
    labels->addWidget(Label1);
    labels->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(top, 1);
    layout->addLayout(zoom);
    layout->addLayout(labels);
    resize(820, 520);

    drawJob_ = new jobs::Job(this);
    connect(drawJob_, &jobs::Job::finished, this, [this] {
        if (const auto& failure = drawJob_->failure()) // the columns drawn so far stay
            this->app().showMessage(jobs::failureText(*failure, this->fields().EditorFilePath));
    });
    cutJob_ = new jobs::Job(this);
    connect(cutJob_, &jobs::Job::progressed, this,
            [this](int percent) { Label1->setText(editor::percentText(percent)); });
    connect(cutJob_, &jobs::Job::finished, this, &frmEditor::cutEnded);
}

frmEditor::~frmEditor()
{
    // The jobs end before anything they report to goes; a cut not yet in place is removed.
    cutJob_->stop();
    drawJob_->stop();
}

bool frmEditor::isBusy() const { return drawJob_->isRunning() || cutJob_->isRunning(); }

void frmEditor::invalidateDrawing() { drawJob_->stop(); }

void frmEditor::waitIfSmall(jobs::Job& job, int64_t bytes)
{
    if (bytes < waitBytes)
        job.finish();
}

bool frmEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Oscope && event->type() == QEvent::Resize && loaded_ && !widthChangePending_) {
        // Once the resizing settles, not in the middle of a layout pass.
        widthChangePending_ = true;
        QTimer::singleShot(0, this, [this] {
            widthChangePending_ = false;
            followDisplayWidth();
        });
    }
    return Form::eventFilter(watched, event);
}

void frmEditor::followDisplayWidth()
{
    if (!loaded_ || deleting_ || !Oscope->isVisible())
        return;
    const int64_t columns = Oscope->sizeValue() / 2;
    if (columns <= 0 || columns == ColumnCount)
        return;
    ColumnCount = columns;
    Oscope->sel(); // its columns meant other bytes
    DrawWave();
}

QString frmEditor::native(const QString& dosPath) const { return app().drives().toNative(dosPath); }

// ---- browsing and loading ---------------------------------------------------------------

void frmEditor::Form_Load()
{
    try {
        Dir1->setPath("c:\\Tamblor\\");
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
    File1->setPattern("*.wav;*.tmp");
    File1->setPath(Dir1->path());
}

void frmEditor::Form_Unload(bool&)
{
    invalidateDrawing();
    // A cut under way stops with the window: the original stays as it was, the copy goes.
    cutJob_->stop();
    cut_.reset();
    deleting_ = false;
    stopPlayer();
}

void frmEditor::Drive1_Change()
{
    try {
        Dir1->setPath(Drive1->drive());
    } catch (const Failure& f) {
        app().showMessage(f.text());
        const QSignalBlocker quiet(Drive1);
        Drive1->setDrive(Dir1->path().left(1));
    }
}

void frmEditor::Dir1_Change() { File1->setPath(Dir1->path()); }

void frmEditor::File1_Click() { LoadChosenFile(); }

void frmEditor::mnuLoad_Click()
{
    Oscope->setVisible(false);
    Drive1->setVisible(true);
    Dir1->setVisible(true);
    File1->setVisible(true);
}

void frmEditor::mnuExit_Click() { close(); }

void frmEditor::failedLoad()
{
    try {
        waveFile_.close();
    } catch (...) {
    }
    memMap_.setActive(false);
    memMap_.close();
    Oscope->setEnabled(false);
    loaded_ = false;
    app().prompts().message(this, kTitle, "Error loading file", QMessageBox::Ok, QMessageBox::NoIcon);
}

void frmEditor::LoadChosenFile()
{
    if (File1->listIndex() < 0 || deleting_)
        return;
    invalidateDrawing();
    stopPlayer();
    try {
        waveFile_.close();
    } catch (...) {
    }
    // The folder the file list shows, which is where the clicked name lives.
    fields().EditorFilePath = File1->path() + "\\" + File1->fileName();
    File1->setVisible(false);
    Dir1->setVisible(false);
    Drive1->setVisible(false);
    ViewStart = 0;
    Oscope->setVisible(true);
    if (layout())
        layout()->activate(); // the display's size is read below
    const QString path = native(fields().EditorFilePath);
    try {
        Oscope->reset();
        memMap_.close();
        waveFile_.setFileName(path);
        ViewLength = waveFile_.dataSize();
        ColumnCount = Oscope->sizeValue() / 2;
        const audio::WaveFormat& f = waveFile_.format();
        int64_t frame = f.blockAlign; // sizes other than 8 and 16 bits: the whole frame
        if (f.bitsPerSample == 8)
            frame = waveFile_.channelMode() == 0 ? 1 : 2;
        else if (f.bitsPerSample == 16)
            frame = waveFile_.channelMode() == 0 ? 2 : 4;
        BytesPerSecond = frame * waveFile_.sampleRate();
        memMap_.setFileName(path);
        WavePlayer->setFileName(path);
    } catch (const Failure&) {
        Oscope->reset();
        failedLoad();
        return;
    }
    loaded_ = true;
    DrawWave();
}

void frmEditor::ReloadWave()
{
    if (deleting_)
        return;
    invalidateDrawing();
    const QString path = native(fields().EditorFilePath);
    try {
        Oscope->reset();
        memMap_.setFileName(QString());
        waveFile_.setFileName(path);
        ViewLength = waveFile_.dataSize();
        if (waveFile_.formatTag() == audio::WaveFormat::Pcm) {
            memMap_.setFileName(path);
            loaded_ = true;
            DrawWave();
        } else {
            loaded_ = false; // nothing mapped: the view buttons wait for another load
            app().prompts().message(this, kTitle, "Only PCM-Wave files can be loaded", QMessageBox::Ok,
                                    QMessageBox::NoIcon);
        }
    } catch (const Failure&) {
        failedLoad();
    }
}

// ---- drawing --------------------------------------------------------------------------------

int64_t frmEditor::columnToByte(double x) const
{
    return editor::columnToByte(x, ColumnCount, ViewLength, ViewStart);
}

int64_t frmEditor::byteToColumn(double p) const
{
    return editor::byteToColumn(p, ViewStart, ViewLength, ColumnCount);
}

void frmEditor::setLocator(int64_t column) { Oscope->setLocator(clampInt32(column)); }

int64_t frmEditor::playerPosition() const { return WavePlayer->position(); }

void frmEditor::followPlayer(int64_t position)
{
    setLocator(byteToColumn(double(position)));
    PositionSeconds = int64_t(roundHalfEven(double(position) / kTimeDivisor));
    TimeConvert();
    lblUp->setText(PositionText);
}

void frmEditor::TimeConvert() { PositionText = editor::timeText(PositionSeconds); }

void frmEditor::DrawWave()
{
    if (!loaded_ || ColumnCount <= 0)
        return;
    invalidateDrawing();
    // What the drawing needs, taken now: the job reads the file through a handle of its own.
    struct View {
        QString path;
        int64_t start, length, columns, step, dataOffset, dataSize, unit;
        audio::WaveFormat format;
    };
    View v;
    try {
        v.path = native(fields().EditorFilePath);
        v.start = ViewStart;
        v.length = ViewLength;
        v.columns = ColumnCount;
        v.dataOffset = waveFile_.dataOffset();
        v.dataSize = waveFile_.dataSize();
        v.format = waveFile_.format();
        v.unit = frameUnit(v.format);
        ColumnStep = editor::columnStep(ViewLength, ColumnCount);
        v.step = ColumnStep;
        memMap_.setActive(true);
        PeakBuffer.assign(size_t(ColumnCount), 0);
        Oscope->setEnabled(true);
    } catch (const std::exception& e) {
        const auto* f = dynamic_cast<const Failure*>(&e);
        app().showMessage(jobs::failureText(f ? *f : Failure(Failure::OutOfMemory), fields().EditorFilePath));
        return;
    }
    drawJob_->start([this, v](jobs::JobControl& job) {
        NativeFile file = NativeFile::open(v.path, NativeFile::Mode::Read);
        const bool eightBit = v.format.bitsPerSample == 8;
        std::vector<int16_t> peaks(size_t(v.columns), 0);
        std::vector<uint8_t> column; // one column's sample bytes
        QElapsedTimer sincePartial;
        sincePartial.start();
        for (int64_t c = 0; c < v.columns; ++c) {
            if (job.cancelled())
                return;
            int a = 0, b = 0, cc = 0, d = 0;
            if (c * v.step < v.length && v.step > 0) {
                // Only whole frames inside the sample data; a file another program shortened
                // meanwhile reads short, and what is missing draws as silence.
                int64_t at = v.start + c * v.step;
                at -= at % v.unit;
                int64_t count = std::min(v.step, v.dataSize - at);
                if (at >= 0 && count > 0) {
                    column.resize(size_t(count));
                    count = int64_t(file.readAt(v.dataOffset + at, column.data(), size_t(count)));
                    int16_t mn1, mx1, mn2, mx2;
                    audio::blockExtremes(v.format, column.data(), count, mn1, mx1, mn2, mx2);
                    a = mn1, b = mx1, cc = mn2, d = mx2;
                    if (eightBit) {
                        a = editor::from8Bit(a), b = editor::from8Bit(b);
                        cc = editor::from8Bit(cc), d = editor::from8Bit(d);
                    }
                }
            }
            peaks[size_t(c)] = editor::columnPeak(a, b, cc, d);
            // The picture grows while it is drawn.
            if (sincePartial.elapsed() >= kPartialDrawMs) {
                job.post([this, peaks] { showColumns(peaks); });
                sincePartial.restart();
            }
        }
        job.post([this, peaks = std::move(peaks)] { showColumns(peaks); });
    });
    waitIfSmall(*drawJob_, std::min(ViewLength, waveFile_.dataSize()));
}

void frmEditor::showColumns(std::vector<int16_t> peaks)
{
    PeakBuffer = std::move(peaks);
    Oscope->drawBuffer(PeakBuffer.data(), int(PeakBuffer.size()));
    followPlayer(playerPosition());
}

// ---- zoom and moving the view -------------------------------------------------------------

void frmEditor::cmd_Click(int k)
{
    if (!loaded_)
        return;
    ViewStart = std::max<int64_t>(0, columnToByte(Oscope->locator()));
    ViewLength = BytesPerSecond * k;
    if (k == 600 && ViewLength > waveFile_.length())
        ViewLength = waveFile_.length();
    DrawWave();
}

void frmEditor::cmd5_Click()
{
    if (!loaded_)
        return;
    fields().ExportStart = clampInt32(columnToByte(Oscope->locator()));
    WavePlayer->setPosition(fields().ExportStart);
    ViewStart = 0;
    ViewLength = waveFile_.length();
    DrawWave();
}

void frmEditor::cmdBegin_Click()
{
    if (!loaded_)
        return;
    ViewStart = 0;
    WavePlayer->setPosition(0);
    DrawWave();
}

void frmEditor::cmdRwd_Click()
{
    if (!loaded_ || deleting_)
        return;
    ViewStart = std::max<int64_t>(0, ViewStart - ViewLength);
    WavePlayer->setPosition(ViewStart);
    ReloadWave();
}

void frmEditor::cmdFF_Click()
{
    if (!loaded_)
        return;
    ViewStart += ViewLength;
    WavePlayer->setPosition(ViewStart);
    DrawWave();
}

// ---- transport --------------------------------------------------------------------------------

void frmEditor::cmdPlay_Click()
{
    if (!loaded_ || deleting_)
        return;
    try {
        WavePlayer->setFileName(native(fields().EditorFilePath));
        if (WavePlayer->wave().fileSize == 0)
            return;
        const int from = Oscope->selectionStart() != -1 ? Oscope->selectionStart() : Oscope->locator();
        WavePlayer->setPosition(std::max<int64_t>(0, columnToByte(from)));
        WavePlayer->play();
        lblUp->setVisible(true);
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

void frmEditor::stopPlayer()
{
    if (!WavePlayer->isPlaying())
        return;
    WavePlayer->stop();
    WavePlayer_Stopped(); // stop() reports nothing itself
}

void frmEditor::cmdStop_Click() { stopPlayer(); }

void frmEditor::WavePlayer_Started()
{
    if (!WavePlayer->isPlaying())
        return; // stopped again before the report arrived
    Timer1->start();
    meterTimer_->start();
    File1->setVisible(false);
    setButtonColour(cmdPlay, kLightGreen);
}

void frmEditor::WavePlayer_Stopped()
{
    Timer1->stop();
    meterTimer_->stop();
    MMLevelX1->setValue(0);
    MMLevelX2->setValue(0);
    setButtonColour(cmdPlay, kGreen);
}

void frmEditor::Timer1_Timer()
{
    if (!loaded_ || ColumnCount <= 0)
        return;
    const int64_t p = playerPosition();
    setLocator(byteToColumn(double(p)));
    const int selEnd = Oscope->selectionEnd();
    if (selEnd != -1 && editor::columnToByteExact(selEnd, ColumnCount, ViewLength, ViewStart) <= double(p))
        stopPlayer();
    if (Oscope->locator() >= ColumnCount) {
        // Past the right edge: turn the page.
        ViewStart += ViewLength;
        DrawWave();
        setLocator(0);
    }
    PositionSeconds = int64_t(roundHalfEven(double(p) / kTimeDivisor));
    TimeConvert();
    lblUp->setText(PositionText);
}

void frmEditor::Oscope_ButtonPressed(int button, int, int x, int)
{
    if (button != audio::Oscope::LeftButton || !loaded_ || ColumnCount <= 0)
        return;
    const int64_t clicked = columnToByte(x);
    WavePlayer->setPosition(std::max<int64_t>(0, clicked));
    const int64_t p = playerPosition();
    followPlayer(p);
    Label2->setText(editor::generalNumber(double(p) / kReadoutDivisor) + "       " + QString::number(clicked));
}

void frmEditor::Oscope_ButtonReleased(int button, int, int, int)
{
    Label1->setText(QString::number(Oscope->selectionStart()) + ' ' + QString::number(Oscope->selectionEnd()));
    if (button == audio::Oscope::RightButton)
        mnuHiddenPopup->popup(QCursor::pos());
}

// ---- marks, export, gain ------------------------------------------------------------------------

void frmEditor::mnuExportStart_Click() { fields().ExportStart = clampInt32(playerPosition()); }

void frmEditor::mnuExportStop_Click() { fields().ExportStop = clampInt32(playerPosition()); }

void frmEditor::mnuExport_Click()
{
    // The send-to window works on the library slot last handed to it; the editor passes nothing.
    // With no slot ever handed, its Send says that no file was selected.
    try {
        app().windows().show(WindowName::frmSend);
    } catch (const Failure& f) {
        app().showMessage(f.text());
    }
}

void frmEditor::mnuDelete_Click() { DeleteBytes(); }

void frmEditor::cmdGain_Click()
{
    GainStep = GainStep + 1 > audio::Oscope::kMaxGain ? 0 : GainStep + 1;
    cmdGain->setText("Gain " + QString::number(GainStep));
    Oscope->setGain(GainStep);
}

// ---- cutting --------------------------------------------------------------------------------------

// What the cut's job hands back: the copier whose complete copy has taken the original's place,
// holding the last handle of the replaced file. Set by the job only when it has done so.
struct frmEditor::CutOutcome {
    QString original; // native path
    QString dosPath;
    int64_t dataSize = 0;
    std::unique_ptr<editor::CutCopy> copier;
};

QString frmEditor::freeNumberedName(const QString& dosPath) const
{
    const QString base = dosPath.left(dosPath.size() - 4);
    for (int n = 1;; ++n) {
        // Any existing entry of that name (a file, or a folder) is passed over.
        const QString candidate = editor::numberedName(base, n);
        if (!QFileInfo::exists(native(candidate)))
            return candidate;
    }
}

void frmEditor::DeleteBytes()
{
    if (deleting_)
        return;
    if (!loaded_) {
        app().showMessage("No file is loaded: nothing was cut");
        return;
    }
    stopPlayer();
    EditorFields& s = fields();
    const int64_t start = columnToByte(Oscope->selectionStart());
    const int64_t stop = columnToByte(Oscope->selectionEnd());
    s.ExportStart = clampInt32(start);
    s.ExportStop = clampInt32(stop);
    const QString dosPath = s.EditorFilePath;
    if (!app().drives().fileExists(dosPath)) {
        app().showMessage(Failure(Failure::FileNotFound).text());
        return;
    }
    cutCopyName_ = freeNumberedName(dosPath);
    const QString original = native(dosPath);
    const QString copy = native(cutCopyName_);

    const audio::WaveFormat format = waveFile_.format();
    if (!format.isPcm()) {
        app().showMessage(Failure(Failure::InvalidCall, "Only PCM data can be cut").text());
        return;
    }
    const int64_t dataSize = waveFile_.dataSize();
    editor::CutRange cut = editor::cutRange(dataSize, start, stop, kCutChunk);
    // Whole frames only (4096-byte chunks split the frames of 24-bit stereo, for one).
    const int64_t frame = std::max(1, format.blockAlign);
    cut.from -= cut.from % frame;
    cut.to -= cut.to % frame;

    // The copy without the cut is written, flushed and put in the original's place by a job;
    // back here the window reopens the file.
    invalidateDrawing();
    deleting_ = true;
    Label1->setText(editor::progressText(0, dataSize));
    cut_ = std::make_shared<CutOutcome>();
    cut_->original = original;
    cut_->dosPath = dosPath;
    cut_->dataSize = dataSize;
    const std::shared_ptr<CutOutcome> outcome = cut_;
    cutJob_->start([outcome, copy, cut](jobs::JobControl& job) {
        auto copier = std::make_unique<editor::CutCopy>(outcome->original, copy);
        const int64_t size = copier->dataSize();
        const bool done = copier->write(cut, [&](int64_t copied) {
            job.progress(editor::progressPercent(copied, size));
            return !job.cancelled();
        });
        if (!done || job.cancelled())
            return; // the copy is gone with the copier
        // On the disk and in the original's place in one step (the window has let go of the
        // file and stopped its drawing; its handles keep reading the old file until it reopens).
        copier->replaceOriginal();
        outcome->copier = std::move(copier);
    });
    waitIfSmall(*cutJob_, dataSize);
}

void frmEditor::cutEnded()
{
    const std::shared_ptr<CutOutcome> outcome = std::move(cut_);
    deleting_ = false;
    if (!outcome)
        return;
    try {
        if (const auto& failure = cutJob_->failure())
            throw *failure;
        if (!outcome->copier)
            return; // stopped: the original is as it was
        Label1->setText(editor::progressText(outcome->dataSize, outcome->dataSize));
        // The shortened file has taken the original's place: let go of the old one.
        waveFile_.close();
        memMap_.close();
        WavePlayer->setFileName(QString());
        closeInBackground(outcome->copier->takeOriginal());
    } catch (const Failure& f) {
        // The original stays as it was; the copy is gone.
        app().showMessage(jobs::failureText(f, outcome->dosPath));
        if (!waveFile_.isOpen())
            reopenAfterCut(outcome->original, false); // the message above says what went wrong
        return;
    }
    reopenAfterCut(outcome->original, true);
}

void frmEditor::reopenAfterCut(const QString& original, bool report)
{
    try {
        waveFile_.setFileName(original);
        memMap_.setFileName(original);
        WavePlayer->setFileName(original);
    } catch (const Failure& f) {
        loaded_ = false;
        Oscope->setEnabled(false);
        if (report)
            app().showMessage(f.text());
        return;
    }
    DrawWave();
    Oscope->sel();
}

} // namespace tamblor
