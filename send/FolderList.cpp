#include "send/FolderList.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include <algorithm>
#include <QDir>
#include <QKeyEvent>

namespace tamblor::send {

namespace {

// "c:\a\b\" -> drive "c:" and the parts {"a", "b"}.
void splitPath(const QString& dosPath, QString& drive, QStringList& parts)
{
    QString p = dosPath.trimmed();
    p.replace('/', '\\');
    drive = p.left(2);
    parts = p.mid(2).split('\\', Qt::SkipEmptyParts);
}

} // namespace

FolderList::FolderList(const DriveMap& drives, QWidget* parent) : QListWidget(parent), drives_(drives)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A click, or moving to an entry with the keys, chooses it; filling the list does not.
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit entryClicked(item->data(Qt::UserRole).toString());
    });
    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && !filling_)
            emit entryClicked(item->data(Qt::UserRole).toString());
    });
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::open);
}

void FolderList::open(QListWidgetItem* item)
{
    if (!item)
        return;
    try {
        setPath(item->data(Qt::UserRole).toString());
    } catch (const Failure& f) {
        emit pathFailed(f.number(), f.description());
    }
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::setPath(const QString& dosPath)
{
    QString drive;
    QStringList parts;
    splitPath(dosPath, drive, parts);
    if (drive.size() != 2 || drive[1] != ':' || !drive[0].isLetter() || !drives_.driveExists(drive[0]))
        throw Failure(Failure::DeviceUnavailable);
    if (parts.contains(".") || parts.contains(".."))
        throw Failure(Failure::PathNotFound);
    const QString root = drive + '\\';
    const QString full = root + parts.join('\\');
    if (!drives_.folderExists(full))
        throw Failure(Failure::PathNotFound);

    filling_ = true;
    clear();
    const QString indentUnit = QStringLiteral("   ");
    auto add = [this](const QString& text, const QString& fullPath) {
        auto* item = new QListWidgetItem(text, this);
        item->setData(Qt::UserRole, fullPath);
        return item;
    };
    add(root, root);
    QString at = drive;
    for (int i = 0; i < parts.size(); ++i) {
        at += '\\' + parts[i];
        add(indentUnit.repeated(i + 1) + parts[i], at);
    }
    QListWidgetItem* current = item(count() - 1);

    QStringList subfolders = QDir(drives_.toNative(full)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(subfolders.begin(), subfolders.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    const QString prefix = parts.isEmpty() ? drive : at;
    for (const QString& name : subfolders)
        add(indentUnit.repeated(parts.size() + 1) + name, prefix + '\\' + name);

    setCurrentItem(current);
    filling_ = false;
    path_ = parts.isEmpty() ? root : full;
    emit pathChanged(path_);
}

QString FolderList::entryPath(int row) const
{
    const QListWidgetItem* i = item(row);
    return i ? i->data(Qt::UserRole).toString() : QString();
}

int FolderList::rowOf(const QString& dosPath) const
{
    for (int row = 0; row < count(); ++row) {
        if (entryPath(row).compare(dosPath, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

} // namespace tamblor::send
