#pragma once
// A folder list: the chain of folders from the drive's root down to the current folder,
// followed by the current folder's sub-folders. A double click (or Enter) opens the entry.
// Paths are the program's DOS paths ("c:\Tamblor"); a DriveMap finds them on disk.
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
    // does not exist, leaving the list as it was. Emits pathChanged() when the folder changes.
    void setPath(const QString& dosPath);
    // Lists the current folder again.
    void refresh();

    // The highlighted entry's index, -1 when none.
    int listIndex() const { return currentRow(); }
    // The highlighted entry's full path, or the current folder when nothing is highlighted.
    QString selectedPath() const;

    // "c:\Tamblor\" -> "c:\Tamblor"; "d:" -> "d:\"; separators "/" become "\".
    static QString normalize(const QString& dosPath);

signals:
    void pathChanged();

private:
    void openItem(QListWidgetItem* item);

    const DriveMap& drives_;
    QString path_;
};

} // namespace tamblor
