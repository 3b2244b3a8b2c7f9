#pragma once
// "Are You Sure?": confirms the deletion of one library entry, the one selected when the
// window opened, which it names in full. Modeless, so the list stays usable while it is open;
// whatever is selected meanwhile, "DELETE" removes only that entry, and the window closes
// itself once that entry has left the list (or the library window has closed).
#include "app/Form.h"

class QLabel;
class QPushButton;

namespace tamblor {

class frmDialog1 : public Form {
    Q_OBJECT
public:
    explicit frmDialog1(Application& app);

    // Removes the sound file of the entry the window was opened for, frees its slot, rebuilds
    // the library list and selects the entry above the deleted one (the detail boxes are
    // emptied when none is). A failure is reported and ends the deletion at that step.
    void DeleteFile();

    void OKButton_Click();
    void CancelButton_Click();

    // The slot this confirmation is about (0 when the list had no selection).
    int slot() const { return slot_; }

protected:
    void Form_Load() override;

private:
    // Closes the window when its entry is no longer in the library list.
    void closeWhenEntryGone();

    QLabel* lblName;
    QLabel* lblDialog1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    int slot_ = 0;
};

} // namespace tamblor
