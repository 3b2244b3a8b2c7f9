#pragma once
// A file list: the files of one folder whose names match a pattern such as "*.wav;*.tmp"
// (without regard to case), sorted by name. A click on an entry emits fileClicked().
#include <QListWidget>
#include <QRegularExpression>

namespace tamblor {

class DriveMap;

class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(const DriveMap& drives, QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Lists the files of a DOS folder; a missing folder gives an empty list.
    void setPath(const QString& dosPath);
    QString pattern() const { return pattern_; }
    // Patterns separated by ";" ("*.wav;*.tmp").
    void setPattern(const QString& pattern);
    void refresh();

    // The highlighted entry's index, -1 when none; its name, empty when none.
    int listIndex() const { return currentRow(); }
    void setListIndex(int index) { setCurrentRow(index); }
    QString fileName() const;
    // Highlights the entry of that name (case ignored); false when it is not listed.
    bool select(const QString& name);

    bool matches(const QString& name) const;

signals:
    void fileClicked();

private:
    const DriveMap& drives_;
    QString path_;
    QString pattern_ = "*.*";
    QList<QRegularExpression> patterns_;
};

} // namespace tamblor
