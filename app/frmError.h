#pragma once
// "Error Message": the one window through which notices and trapped failures reach the
// operator. Showing it never blocks; a new text replaces the old one.
#include "app/Form.h"

class QLabel;
class QPushButton;

namespace tamblor {

class frmError : public Form {
    Q_OBJECT
public:
    explicit frmError(Application& app);

    void setMessage(const QString& text);
    QString message() const;

    void OKButton_Click();
    void cmdOverRide_Click();

private:
    QLabel* lblMessage;
    QPushButton* OKButton;
    QPushButton* cmdOverRide;
};

} // namespace tamblor
