#pragma once
// "Are You Sure?": confirms the deletion of the library entry selected when "DELETE" is pressed.
// Modeless, so the list stays usable while it is open.
#include "app/Form.h"

class QLabel;
class QPushButton;

namespace tamblor {

class frmDialog1 : public Form {
    Q_OBJECT
public:
    explicit frmDialog1(Application& app);

    // Removes the selected entry's sound file, frees its slot, rebuilds the library list and
    // selects the entry above the deleted one. A failure is reported and ends the deletion at
    // that step.
    void DeleteFile();

    void OKButton_Click();
    void CancelButton_Click();

protected:
    void Form_Load() override;

private:
    QLabel* lblDialog1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

} // namespace tamblor
