#include "send/frmSend.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "audio/files/FormatText.h"
#include "audio/files/WaveHelper.h"
#include "audio/jobs/Job.h"
#include "audio/widgets/Gauge.h"
#include "browse/DriveList.h"
#include "browse/FolderList.h"
#include "library/SoundLibrary.h"
#include "platform/Failure.h"
#include "platform/NativeFile.h"
#include "send/SendName.h"
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <QVBoxLayout>

namespace tamblor {

frmSend::frmSend(Application& app, SoundLibrary& library)
    : Form(app, WindowName::frmSend), library_(library), WaveFile(QStringLiteral("WaveFile")), ACMConverter(links, QStringLiteral("ACMConverter"))
{
    setWindowTitle("Send To:");

    links.add(WaveFile);
    links.add(ACMConverter);
    Trigger = std::make_unique<audio::TriggerPump>(AudioFile, links);
    Trigger->setObjectName("Trigger");
    Trigger->setBufferSize(32768);
    Trigger->setOutput("WaveFile");
    ACMConverter.setOutput("WaveFile");
    connect(Trigger.get(), &audio::TriggerPump::started, this, &frmSend::Trigger_Started);
    connect(Trigger.get(), &audio::TriggerPump::finished, this, &frmSend::Trigger_Finished);

    Drive1 = controls::named(new DriveList(app.drives(), this), "Drive1");
    Drive1->setRefreshOnOpen(true);
    Dir1 = controls::named(new FolderList(app.drives(), this), "Dir1");
    Dir1->setMissingDriveUnavailable(true);

    txtFileName = controls::textBox(this, "txtFileName");
    txtFileName->setVisible(false);

    Check1 = controls::checkBox(this, "Check1", "Compress File");

    Label1 = controls::label(this, "Label1");
    Label1->setWordWrap(true);
    Label1->setVisible(false);

    Gauge = controls::named(new audio::Gauge(this), "Gauge");
    Gauge->setVisible(false);

    cmdSend = controls::button(this, "cmdSend", "Send");
    cmdSend->setAutoDefault(true); // Enter while it has the focus sends
    cmdSend->setVisible(false);
    cmdNo = controls::button(this, "cmdNo", "No");
    cmdNo->setVisible(false);
    cmdClose = controls::button(this, "cmdClose", "Close");

    Timer1 = controls::named(new QTimer(this), "Timer1");

    mnuHiddenPopup = controls::named(new QMenu("HiddenPopup", this), "mnuHiddenPopup");
    QAction* popupSend = mnuHiddenPopup->addAction("Send");
    popupSend->setObjectName("mnuHiddenPopupSend");
    connect(popupSend, &QAction::triggered, this, &frmSend::mnuHiddenPopupSend_Click);

    // Buttons in one row: "Send" takes the place of "Close", or stands left of "No".
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdNo);
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Drive1);
    layout->addWidget(Dir1, 1);
    layout->addWidget(txtFileName);
    layout->addWidget(Check1);
    layout->addWidget(Label1);
    layout->addWidget(Gauge);
    layout->addLayout(buttons);
    resize(380, 380);
    setMinimumWidth(300); // the format line and the overwrite question read in full

    connect(Drive1, &DriveList::driveChanged, this, &frmSend::Drive1_Change);
    connect(Dir1, &FolderList::entryClicked, this, &frmSend::Dir1_Click);
    connect(Dir1, &FolderList::pathChanged, this, &frmSend::Dir1_Change);
    connect(Dir1, &FolderList::pathFailed, this, [this](int number, const QString& description) {
        this->app().showMessage(QString::number(number) + "  " + description);
    });
    connect(txtFileName, &QLineEdit::returnPressed, this, [this] { txtFileName_KeyPress(13); });
    connect(cmdSend, &QPushButton::clicked, this, &frmSend::cmdSend_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmSend::cmdNo_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmSend::cmdClose_Click);
    connect(Timer1, &QTimer::timeout, this, &frmSend::Timer1_Timer);
    connect(&library_, &SoundLibrary::slotChanged, this, &frmSend::followSlot);
    flushJob_ = new jobs::Job(this);
    connect(flushJob_, &jobs::Job::finished, this, &frmSend::Flush_Finished);
}

frmSend::~frmSend()
{
    Trigger.reset(); // the pump stops before the links it feeds go away
    flushJob_->stop();
    discardPart();
}

void frmSend::Form_Load()
{
    DestinationFolder = "c:";
    {
        const QSignalBlocker quiet(Drive1);
        Drive1->setDrive("c");
    }
    try {
        Dir1->setPath("c:\\");
    } catch (const Failure& f) {
        app().showMessage(f.text("  "));
    }
}

void frmSend::openFor(int slot)
{
    slot_ = slot;
    // A further export while the window stays open changes the slot, not the typed name.
    if (opened_)
        return;
    opened_ = true;
    suggested_ = send::suggestedFileName(library_.record(slot).SoundName);
    txtFileName->setText(suggested_);
}

void frmSend::followSlot(int slot)
{
    if (slot != slot_ || slot_ <= 0)
        return;
    const QString suggestion = send::suggestedFileName(library_.record(slot).SoundName);
    if (txtFileName->text() == suggested_)
        txtFileName->setText(suggestion);
    suggested_ = suggestion;
}

void frmSend::Form_Unload(bool&)
{
    Timer1->stop();
    Trigger->stop();
    flushJob_->stop();
    discardPart();
}

bool frmSend::isSending() const { return Trigger->isRunning() || flushJob_->isRunning(); }

void frmSend::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        mnuHiddenPopup->popup(event->globalPosition().toPoint());
    Form::mouseReleaseEvent(event);
}

void frmSend::Drive1_Change()
{
    DestinationFolder = Drive1->drive().left(2);
    try {
        Dir1->setPath(DestinationFolder + "\\");
    } catch (const Failure& f) {
        app().showMessage(f.text("  "));
    }
}

void frmSend::Dir1_Click(const QString& dosPath)
{
    DestinationFolder = dosPath;
}

void frmSend::Dir1_Change()
{
    txtFileName->setVisible(true);
}

void frmSend::formDestination()
{
    DestinationName = txtFileName->text();
    DestinationBase = DestinationFolder + (DestinationFolder.endsWith('\\') ? "" : "\\") + DestinationName;
}

QString frmSend::nativeFolder() const
{
    return app().drives().toNative(DestinationFolder.endsWith(':') ? DestinationFolder + '\\' : DestinationFolder);
}

QString frmSend::destinationProblem() const
{
    const QString problem = send::fileNameProblem(DestinationName);
    if (!problem.isEmpty())
        return problem;
    // The library's own files are never replaced: the slot files, the index and the settings.
    const DriveMap& drives = app().drives();
    const QStringList libraryFolders = {
        QFileInfo(drives.toNative(LibraryLayout::soundFolder(app().state().DriveLetter))).canonicalFilePath(),
        QFileInfo(drives.toNative(LibraryLayout::indexFolder())).canonicalFilePath()};
    for (const QString& victim : send::filesWithBaseName(nativeFolder(), DestinationName)) {
        const QFileInfo info(victim);
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        if (!folder.isEmpty() && libraryFolders.contains(folder) && LibraryLayout::isLibraryFileName(info.fileName()))
            return QStringLiteral("%1 belongs to the sound file library and cannot be replaced. Choose another "
                                  "name or folder.")
                .arg(drives.toDos(victim));
    }
    return {};
}

void frmSend::txtFileName_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    formDestination();
    Gauge->setValue(0); // a new destination: nothing of it is sent yet
    const QString problem = destinationProblem();
    if (!problem.isEmpty()) {
        app().showMessage(problem);
        return;
    }
    // Any file that the send would remove counts as the destination existing.
    if (!send::filesWithBaseName(nativeFolder(), DestinationName).isEmpty()) {
        Label1->setText(DestinationBase + " already exists.  Overwrite?");
        Label1->setVisible(true);
        cmdNo->setVisible(true);
        cmdSend->setVisible(true);
        cmdClose->setVisible(false);
    } else {
        Label1->setVisible(false);
        cmdNo->setVisible(false);
        cmdClose->setVisible(false);
        cmdSend->setVisible(true);
        cmdSend->setFocus();
    }
}

void frmSend::cmdSend_Click()
{
    SendFile();
}

void frmSend::cmdNo_Click()
{
    txtFileName->clear();
    txtFileName->setFocus();
    Label1->setVisible(false);
    cmdNo->setVisible(false);
    cmdSend->setVisible(false);
    cmdClose->setVisible(true);
}

void frmSend::cmdClose_Click()
{
    close();
}

void frmSend::mnuHiddenPopupSend_Click()
{
    if (refuseWhileSending())
        return;
    formDestination();
    cmdClose->setVisible(false);
    SendFile();
}

bool frmSend::refuseWhileSending()
{
    if (!isSending())
        return false;
    app().showMessage("A file is being sent. Wait until it has been sent.");
    return true;
}

void frmSend::SendFile()
{
    if (refuseWhileSending())
        return;
    cmdNo->setVisible(false);
    cmdSend->setVisible(false);
    Label1->setVisible(false);
    Gauge->setValue(0); // a send that fails before its first byte got nowhere
    try {
        sendSteps();
    } catch (const Failure& f) {
        app().showMessage(f.text());
        showSendEnd(false);
    }
}

void frmSend::showSendEnd(bool sent)
{
    // A complete send fills the gauge, however short it was; a failed one shows how far it got
    // and is never full. After a failure "Send" tries the same destination again, and "Close"
    // is always offered.
    Gauge->setValue(sent ? 100 : std::min(Gauge->value(), 99));
    cmdSend->setVisible(!sent);
    cmdClose->setVisible(true);
}

void frmSend::sendSteps()
{
    if (slot_ <= 0) {
        // Opened by the editor's Export before the library ever handed it a slot.
        app().showMessage("No file was selected.");
        cmdClose->setVisible(true);
        return;
    }
    const QString problem = destinationProblem();
    if (!problem.isEmpty()) {
        app().showMessage(problem);
        cmdClose->setVisible(true); // a name that cannot be used is typed anew, not sent again
        return;
    }
    AudioFile.setFileName(library_.slotFileNative(slot_));

    // The files of the typed name, whatever their extension, are replaced once the sound is
    // complete: a send that fails leaves them as they were.
    const QString folder = nativeFolder();
    if (!QFileInfo(folder).isDir())
        throw Failure(Failure::PathNotFound);

    if (Check1->isChecked()) {
        ACMConverter.setDestinationFormat(audio::derivedFormat(22050, AudioFile.format()));
        Trigger->setOutput("ACMConverter");
        ACMConverter.setOutput("WaveFile");
    } else {
        Trigger->setOutput("WaveFile");
    }

    QString name, detail;
    audio::describeFormat(Trigger->destinationFormat(), name, detail);
    Label1->setText("Format:  " + name + "   " + detail);
    Label1->setVisible(true);

    discardPart();
    // The sound goes to a working file beside the destination, named by the writer.
    part_ = std::make_unique<SafeReplace>(folder + '/' + DestinationName + ".wav");
    part_->create().close();
    targetFolder_ = folder;
    targetName_ = DestinationName;
    sendingTo_ = DestinationBase + ".wav";
    WaveFile.setFileName(part_->workingPath());
    Gauge->setValue(0);
    Gauge->setVisible(true);
    try {
        Trigger->start();
    } catch (...) {
        discardPart();
        throw;
    }
}

void frmSend::removeOtherFiles()
{
    // The complete sound is on the disk and in place; only now do the other files of the name go.
    const QString target = part_->target();
    part_.reset();
    for (const QString& old : send::filesWithBaseName(targetFolder_, targetName_)) {
        // The same file under another spelling of its name (a file system that ignores case) stays.
        if (!sameFile(old, target) && !removeFile(old))
            throw Failure(Failure::PermissionDenied);
    }
}

void frmSend::discardPart() noexcept
{
    if (!part_)
        return;
    WaveFile.abort();
    part_.reset(); // removes the working file
}

void frmSend::Trigger_Started()
{
    Timer1->start(100);
}

void frmSend::Timer1_Timer()
{
    const int percent = send::gaugePercent(AudioFile.position(), AudioFile.length());
    if (percent >= 0)
        Gauge->setValue(percent);
}

void frmSend::Trigger_Finished()
{
    Timer1->stop();
    Trigger->stop();
    bool complete = !Trigger->failure();
    try {
        WaveFile.close();
    } catch (const Failure& f) {
        complete = false;
        app().showMessage(jobs::failureText(f, sendingTo_));
    }
    if (Trigger->failure())
        app().showMessage(jobs::failureText(*Trigger->failure(), sendingTo_));
    if (!complete)
        Timer1_Timer(); // how far it got
    AudioFile.close();
    if (!complete || !part_) {
        sendEnded(false);
        return;
    }
    // The sound is complete: a job puts it on the disk and gives it the typed name (the window
    // leaves the working file alone meanwhile, and stops the job before it lets it go).
    flushJob_->start([part = part_.get()](jobs::JobControl& job) {
        if (!job.cancelled())
            part->commit();
    });
}

void frmSend::Flush_Finished()
{
    bool sent = false;
    try {
        if (const auto& failure = flushJob_->failure())
            throw *failure;
        if (part_ && !flushJob_->wasCancelled()) {
            removeOtherFiles();
            sent = true;
        }
    } catch (const Failure& f) {
        app().showMessage(jobs::failureText(f, sendingTo_));
    }
    sendEnded(sent);
}

void frmSend::sendEnded(bool sent)
{
    discardPart();
    showSendEnd(sent);
    emit sendFinished();
}

} // namespace tamblor
