#include "editor/browse/FolderList.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include <QDir>
#include <QKeyEvent>

namespace tamblor {

namespace {

constexpr int PathRole = Qt::UserRole;

bool foldedLess(const QString& a, const QString& b)
{
    return QString::compare(a.toCaseFolded(), b.toCaseFolded(), Qt::CaseSensitive) < 0;
}

} // namespace

FolderList::FolderList(const DriveMap& drives, QWidget* parent) : QListWidget(parent), drives_(drives)
{
    connect(this, &QListWidget::itemActivated, this, &FolderList::openItem);
}

QString FolderList::normalize(const QString& dosPath)
{
    QString p = dosPath.trimmed();
    p.replace('/', '\\');
    QString drive = "c:";
    if (p.size() >= 2 && p[1] == ':') {
        drive = QString(p[0]) + ':';
        p = p.mid(2);
    }
    const QStringList parts = p.split('\\', Qt::SkipEmptyParts);
    return parts.isEmpty() ? drive + '\\' : drive + '\\' + parts.join('\\');
}

void FolderList::setPath(const QString& dosPath)
{
    const QString p = normalize(dosPath);
    if (!drives_.folderExists(p))
        throw Failure(Failure::PathNotFound);
    const bool changed = p.compare(path_, Qt::CaseInsensitive) != 0;
    path_ = p;
    refresh();
    if (changed)
        emit pathChanged();
}

void FolderList::refresh()
{
    clear();
    if (path_.isEmpty())
        return;
    // The chain from the root down to the current folder, indented by depth.
    const QString drive = path_.left(2);
    const QStringList parts = path_.mid(3).split('\\', Qt::SkipEmptyParts);
    QString at = drive + '\\';
    auto* rootItem = new QListWidgetItem(drive + '\\', this);
    rootItem->setData(PathRole, at);
    int depth = 1;
    for (const QString& part : parts) {
        at = at.endsWith('\\') ? at + part : at + '\\' + part;
        auto* item = new QListWidgetItem(QString(depth * 2, ' ') + part, this);
        item->setData(PathRole, at);
        ++depth;
    }
    QStringList subs = QDir(drives_.toNative(path_)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(subs.begin(), subs.end(), foldedLess);
    for (const QString& sub : subs) {
        auto* item = new QListWidgetItem(QString(depth * 2, ' ') + sub, this);
        item->setData(PathRole, path_.endsWith('\\') ? path_ + sub : path_ + '\\' + sub);
    }
    setCurrentRow(-1);
}

QString FolderList::selectedPath() const
{
    const QListWidgetItem* item = currentItem();
    return item ? item->data(PathRole).toString() : path_;
}

void FolderList::openItem(QListWidgetItem* item)
{
    if (!item)
        return;
    try {
        setPath(item->data(PathRole).toString());
    } catch (const Failure&) {
        refresh(); // the folder went away meanwhile: show what is there now
    }
}

} // namespace tamblor
