#pragma once
// A folder list in the manner of a file manager's tree: the folders from the drive's root down
// to the current path (each one level further in), then the current folder's subfolders.
// Paths are DOS paths ("c:\Tamblor"); a click (or moving to an entry with the keys) reports
// the entry's full path, a double click or Enter opens the entry (the path changes).
#include <QListWidget>

namespace tamblor {
class DriveMap;
}

namespace tamblor::send {

class FolderList : public QListWidget {
    Q_OBJECT
public:
    FolderList(const DriveMap& drives, QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Shows `dosPath` ("c:\" or "c:\Tamblor"). Throws Failure 68 Device unavailable for a
    // drive that does not exist and 76 Path not found for a missing folder; the list then
    // keeps its old path. Emits pathChanged.
    void setPath(const QString& dosPath);
    // The full path of an entry ("c:\Tamblor\Out").
    QString entryPath(int row) const;
    // The row showing a full path (compared without regard to case), -1 when none.
    int rowOf(const QString& dosPath) const;

signals:
    void entryClicked(const QString& dosPath);
    void pathChanged(const QString& dosPath);
    // Opening a double-clicked entry failed (a folder removed meanwhile).
    void pathFailed(int number, const QString& description);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void open(QListWidgetItem* item);

    const DriveMap& drives_;
    QString path_;
    bool filling_ = false;
};

} // namespace tamblor::send
