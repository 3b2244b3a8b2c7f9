#pragma once
// "Send To:": copies the library sound file of the slot it was opened for into a chosen folder
// under a typed name plus ".wav", unchanged or (with "Compress File") converted to the source's format at
// 22050 samples per second. The typed name is one plain file name; a send first removes the
// files of that name (any extension or none) from the folder, asking before it does so. The
// suggested name follows a rename of the slot made elsewhere while the window is open.
#include "app/Form.h"
#include "audio/files/AudioFileReader.h"
#include "audio/files/ChainLink.h"
#include "audio/files/FormatConverter.h"
#include "audio/files/TriggerPump.h"
#include "audio/files/WaveFileWriter.h"
#include "platform/SafeReplace.h"
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace tamblor::audio {
class Gauge;
}

namespace tamblor {

class DriveList;
class FolderList;
class SoundLibrary;

class frmSend : public Form {
    Q_OBJECT
public:
    frmSend(Application& app, SoundLibrary& library);
    ~frmSend() override;

    // The slot to send; the name box suggests its name.
    void openFor(int slot) override;
    int slot() const { return slot_; }

    // Sends the slot file to DestinationBase + ".wav"; failures go to the message window.
    void SendFile();

    void Drive1_Change();
    void Dir1_Click(const QString& dosPath);
    void Dir1_Change();
    void txtFileName_KeyPress(int keyAscii);
    void cmdSend_Click();
    void cmdNo_Click();
    void cmdClose_Click();
    void mnuHiddenPopupSend_Click();
    void Timer1_Timer();
    void Trigger_Started();
    void Trigger_Finished();
    // The sent file is on the disk: it takes the typed name.
    void Flush_Finished();

    QString destinationFolder() const { return DestinationFolder; }
    QString destinationBase() const { return DestinationBase; }
    // From the start of a transfer until its file has the typed name (or the send failed).
    bool isSending() const;

signals:
    // A transfer has ended (the end event has been handled), successfully or not.
    void sendFinished();

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Forms DestinationBase from the folder and the name box.
    void formDestination();
    // Why the current destination may not be sent to; empty when it may.
    QString destinationProblem() const;
    QString nativeFolder() const;
    // One transfer at a time: true (and a message) while one runs.
    bool refuseWhileSending();
    void sendSteps();
    // After the complete sound has taken the typed name, the other files of that name go.
    void removeOtherFiles();
    // The buttons and gauge at the end of a send, complete or failed.
    void showSendEnd(bool sent);
    // The end of a send, complete or not: the working file goes, the buttons show the end.
    void sendEnded(bool sent);
    // Removes what a transfer that did not complete has written.
    void discardPart() noexcept;
    // The slot changed in the library: a suggestion the operator has not changed follows it.
    void followSlot(int slot);

    SoundLibrary& library_;
    int slot_ = 0;
    QString suggested_; // the name last suggested for the slot
    bool opened_ = false;

    // Audio chain: AudioFile -> Trigger -> [ACMConverter] -> WaveFile.
    audio::ChainLinks links;
    audio::AudioFileReader AudioFile;
    audio::WaveFileWriter WaveFile;
    audio::FormatConverter ACMConverter;
    std::unique_ptr<audio::TriggerPump> Trigger;
    // Puts a complete transfer's file on the disk before it takes the typed name.
    jobs::Job* flushJob_ = nullptr;

    DriveList* Drive1;
    FolderList* Dir1;
    QLineEdit* txtFileName;
    QCheckBox* Check1;
    QPushButton* cmdSend;
    QPushButton* cmdNo;
    QPushButton* cmdClose;
    QLabel* Label1;
    audio::Gauge* Gauge;
    QTimer* Timer1;
    QMenu* mnuHiddenPopup;

    QString DestinationFolder;
    QString DestinationName;
    QString DestinationBase;
    // The running transfer writes into a file of its own in the destination folder; the files
    // of the typed name are replaced only once it is complete.
    std::unique_ptr<SafeReplace> part_;
    QString targetFolder_;
    QString targetName_;
    // The file the running transfer makes, as the operator named it (for its failure message).
    QString sendingTo_;
};

} // namespace tamblor
