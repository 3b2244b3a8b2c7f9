#pragma once
// "Are You Sure?": confirms the deletion of one library entry, the one it was opened for, which
// it names in full. Modeless, so the list stays usable while it is open; whatever is selected
// meanwhile, "DELETE" removes only that entry. It follows the library: a rename of the entry
// shows in its name, and it closes itself once the entry is no longer in the library (or the
// library window has closed).
#include "app/Form.h"

class QLabel;
class QPushButton;

namespace tamblor {

class SoundLibrary;

class frmDialog1 : public Form {
    Q_OBJECT
public:
    frmDialog1(Application& app, SoundLibrary& library);

    // The entry to confirm; the first slot handed over stays (opening it again only raises it).
    void openFor(int slot) override;

    // Removes the sound file of the entry the window was opened for and frees its slot (the
    // library window then drops the entry and selects the one above it). A failure is reported
    // and ends the deletion at that step.
    void DeleteFile();

    void OKButton_Click();
    void CancelButton_Click();

    // The slot this confirmation is about (0 when the list had no selection).
    int slot() const { return slot_; }

protected:
    void Form_Load() override;

private:
    // Names the entry, or closes the window when it is no longer in the library.
    void showEntry();

    SoundLibrary& library_;
    QLabel* lblName;
    QLabel* lblDialog1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    int slot_ = 0;
};

} // namespace tamblor
