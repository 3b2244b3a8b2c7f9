#pragma once
// A drop-down list of the existing drives ("c:", "d:", ...) in letter order.
#include <QComboBox>

namespace tamblor {
class DriveMap;
}

namespace tamblor::send {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    DriveList(const DriveMap& drives, QWidget* parent = nullptr);

    // Lists the drives again, keeping the current one when it still exists (no signal).
    void refresh();
    // The current entry's text ("c:"); empty when there is none.
    QString drive() const { return currentText(); }
    // Makes the entry of that drive letter current (no signal); false when it is not listed.
    bool setDrive(QChar letter);

    // Drives may have come or gone since the list was filled.
    void showPopup() override;

signals:
    // The operator chose another drive; text as drive() gives it.
    void driveChanged(const QString& drive);

private:
    const DriveMap& drives_;
};

} // namespace tamblor::send
