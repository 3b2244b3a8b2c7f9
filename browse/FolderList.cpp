#include "browse/FolderList.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include <QDir>
#include <QKeyEvent>

namespace tamblor {

namespace {

constexpr int PathRole = Qt::UserRole;
const QString Indent = QStringLiteral("   ");

bool foldedLess(const QString& a, const QString& b)
{
    return QString::compare(a.toCaseFolded(), b.toCaseFolded(), Qt::CaseSensitive) < 0;
}

} // namespace

FolderList::FolderList(const DriveMap& drives, QWidget* parent) : QListWidget(parent), drives_(drives)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit entryClicked(item->data(PathRole).toString());
    });
    // Filling the list moves the highlight too; that is no choice of the operator.
    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && !filling_)
            emit entryClicked(item->data(PathRole).toString());
    });
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
    if (missingDriveUnavailable_ && (!p[0].isLetter() || !drives_.driveExists(p[0])))
        throw Failure(Failure::DeviceUnavailable);
    const QStringList parts = p.mid(3).split('\\', Qt::SkipEmptyParts);
    if (parts.contains(".") || parts.contains("..") || !drives_.folderExists(p))
        throw Failure(Failure::PathNotFound);
    const bool changed = p.compare(path_, Qt::CaseInsensitive) != 0;
    path_ = p;
    refresh();
    if (changed)
        emit pathChanged();
}

void FolderList::refresh()
{
    filling_ = true;
    clear();
    if (path_.isEmpty()) {
        filling_ = false;
        return;
    }
    auto add = [this](const QString& text, const QString& fullPath) {
        auto* item = new QListWidgetItem(text, this);
        item->setData(PathRole, fullPath);
        return item;
    };
    // The chain from the root down to the current folder, indented by depth.
    const QString drive = path_.left(2);
    QString at = drive + '\\';
    QListWidgetItem* current = add(at, at);
    int depth = 1;
    for (const QString& part : path_.mid(3).split('\\', Qt::SkipEmptyParts)) {
        at = at.endsWith('\\') ? at + part : at + '\\' + part;
        current = add(Indent.repeated(depth) + part, at);
        ++depth;
    }
    QStringList subs = QDir(drives_.toNative(path_)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(subs.begin(), subs.end(), foldedLess);
    for (const QString& sub : subs)
        add(Indent.repeated(depth) + sub, path_.endsWith('\\') ? path_ + sub : path_ + '\\' + sub);
    setCurrentItem(current);
    filling_ = false;
}

QString FolderList::selectedPath() const
{
    const QListWidgetItem* item = currentItem();
    return item ? item->data(PathRole).toString() : path_;
}

QString FolderList::entryPath(int row) const
{
    const QListWidgetItem* i = item(row);
    return i ? i->data(PathRole).toString() : QString();
}

int FolderList::rowOf(const QString& dosPath) const
{
    for (int row = 0; row < count(); ++row) {
        if (entryPath(row).compare(dosPath, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::openItem(QListWidgetItem* item)
{
    if (!item)
        return;
    try {
        setPath(item->data(PathRole).toString());
    } catch (const Failure& f) {
        refresh(); // the folder went away meanwhile: show what is there now
        emit pathFailed(f.number(), f.description());
    }
}

} // namespace tamblor
