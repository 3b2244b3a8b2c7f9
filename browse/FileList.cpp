#include "browse/FileList.h"
#include "platform/DriveMap.h"
#include <QDir>

namespace tamblor {

FileList::FileList(const DriveMap& drives, QWidget* parent) : QListWidget(parent), drives_(drives)
{
    setPattern(pattern_);
    connect(this, &QListWidget::itemClicked, this, [this] { emit fileClicked(); });
}

void FileList::setPath(const QString& dosPath)
{
    path_ = dosPath;
    refresh();
}

void FileList::setPattern(const QString& pattern)
{
    pattern_ = pattern;
    patterns_.clear();
    for (const QString& p : pattern.split(';', Qt::SkipEmptyParts)) {
        // "*.*" matches every name, with or without a dot, as it always has.
        const QString glob = p.trimmed() == "*.*" ? QStringLiteral("*") : p.trimmed();
        patterns_ << QRegularExpression(
            QRegularExpression::wildcardToRegularExpression(glob),
            QRegularExpression::CaseInsensitiveOption);
    }
    refresh();
}

bool FileList::matches(const QString& name) const
{
    for (const QRegularExpression& re : patterns_) {
        if (re.match(name).hasMatch())
            return true;
    }
    return false;
}

void FileList::refresh()
{
    clear();
    if (path_.isEmpty())
        return;
    QStringList names;
    for (const QString& name : QDir(drives_.toNative(path_)).entryList(QDir::Files)) {
        if (matches(name))
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a.toCaseFolded(), b.toCaseFolded(), Qt::CaseSensitive) < 0;
    });
    addItems(names);
    setCurrentRow(-1);
}

QString FileList::fileName() const
{
    const QListWidgetItem* item = currentItem();
    return item ? item->text() : QString();
}

bool FileList::select(const QString& name)
{
    for (int i = 0; i < count(); ++i) {
        if (item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
            setCurrentRow(i);
            return true;
        }
    }
    return false;
}

} // namespace tamblor
