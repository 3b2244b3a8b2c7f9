#pragma once
// A folder list: the chain of folders from the drive's root down to the current folder (each
// one level further in), followed by the current folder's sub-folders; the current folder is
// highlighted. A click, or moving to an entry with the keys, reports the entry's full path; a
// double click or Enter opens the entry. Paths are the program's DOS paths ("c:\Tamblor"); a
// DriveMap finds them on disk.
#include <QListWidget>

namespace tamblor {

class DriveMap;

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(const DriveMap& drives, QWidget* parent = nullptr);

    // The current folder, without a trailing "\" except at a drive's root ("c:\").
    QString path() const { return path_; }
    // Opens a folder ("c:\Tamblor\", "d:", "C:\a\b"); throws Failure 76 Path not found when it
    // does not exist (or names "." or ".."), leaving the list as it was. Emits pathChanged()
    // when the folder changes.
    void setPath(const QString& dosPath);
    // Lists the current folder again.
    void refresh();

    // When on, a path on a drive that does not exist is Failure 68 Device unavailable rather
    // than 76 Path not found.
    void setMissingDriveUnavailable(bool on) { missingDriveUnavailable_ = on; }

    // The highlighted entry's index, -1 when none.
    int listIndex() const { return currentRow(); }
    // The highlighted entry's full path, or the current folder when nothing is highlighted.
    QString selectedPath() const;
    // The full path of an entry ("c:\Tamblor\Out"); empty for a row that is not there.
    QString entryPath(int row) const;
    // The row showing a full path (compared without regard to case), -1 when none.
    int rowOf(const QString& dosPath) const;

    // "c:\Tamblor\" -> "c:\Tamblor"; "d:" -> "d:\"; separators "/" become "\".
    static QString normalize(const QString& dosPath);

signals:
    void pathChanged();
    // The operator clicked an entry or moved to it with the keys.
    void entryClicked(const QString& dosPath);
    // Opening an entry failed (a folder removed meanwhile); the list shows what is there now.
    void pathFailed(int number, const QString& description);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(QListWidgetItem* item);

    const DriveMap& drives_;
    QString path_;
    bool filling_ = false;
    bool missingDriveUnavailable_ = false;
};

} // namespace tamblor
