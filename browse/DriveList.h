#pragma once
// A drop-down list of the drive letters that exist ("c:", "d:", ...), as the program's DOS
// paths name them. Reusable by any window that lets the operator pick a drive.
#include <QComboBox>

namespace tamblor {

class DriveMap;

class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(const DriveMap& drives, QWidget* parent = nullptr);

    // Reads the drive list again, keeping the chosen drive when it still exists (no signal).
    void refresh();
    // The chosen drive as "c:" (lower case letter and colon); empty when there is none.
    QString drive() const;
    // Chooses a drive by its letter ("d", "D:", "d:\x" all choose D); false when it does not
    // exist. Emits driveChanged() when the choice changes.
    bool setDrive(const QString& drive);

    // When on, opening the list reads the drives again: they may have come or gone.
    void setRefreshOnOpen(bool on) { refreshOnOpen_ = on; }
    void showPopup() override;

signals:
    // The operator (or setDrive) chose another drive.
    void driveChanged();

private:
    const DriveMap& drives_;
    bool filling_ = false;
    bool refreshOnOpen_ = false;
};

} // namespace tamblor
