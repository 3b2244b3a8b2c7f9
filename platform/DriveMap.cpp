#include "platform/DriveMap.h"
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <cstdlib>

namespace tamblor {

namespace {

// The actual name of an entry of folder `dir` equal to `name` without regard to case,
// preferring an exact match; `name` itself when nothing matches.
QString matchCase(const QString& dir, const QString& name)
{
    if (QFileInfo::exists(dir + '/' + name))
        return name;
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                    | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return name;
}

} // namespace

DriveMap::DriveMap() : DriveMap(defaultRoot()) {}

DriveMap::DriveMap(QString root) : root_(QDir::cleanPath(std::move(root)))
{
#ifndef Q_OS_WIN
    // Drive C stands for the system drive, which always has its program folder.
    QDir().mkpath(root_ + "/C/Program Files");
#endif
}

QString DriveMap::defaultRoot()
{
    const char* env = std::getenv("TAMBLOR_ROOT");
    if (env && *env)
        return QString::fromLocal8Bit(env);
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + "/.local/share/Tamblor";
    return dir;
}

QString DriveMap::driveFolder(QChar letter) const
{
    const QString upper = root_ + '/' + letter.toUpper();
    const QString lower = root_ + '/' + letter.toLower();
    return (!QFileInfo(upper).isDir() && QFileInfo(lower).isDir()) ? lower : upper;
}

QString DriveMap::toNative(const QString& dosPath) const
{
#ifdef Q_OS_WIN
    return dosPath;
#else
    QString path = dosPath.trimmed();
    QChar drive = 'C';
    if (path.size() >= 2 && path[1] == ':' && path[0].isLetter() && path[0].unicode() < 128) {
        drive = path[0].toUpper();
        path = path.mid(2);
    }
    path.replace('\\', '/');
    QStringList parts;
    for (const QString& p : path.split('/', Qt::SkipEmptyParts)) {
        if (p == ".")
            continue;
        if (p == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << p;
    }
    QString native = driveFolder(drive);
    for (const QString& p : parts)
        native += '/' + matchCase(native, p);
    return native;
#endif
}

QString DriveMap::toDos(const QString& nativePath) const
{
#ifdef Q_OS_WIN
    return nativePath;
#else
    const QString clean = QDir::cleanPath(nativePath);
    if (!clean.startsWith(root_ + '/'))
        return {};
    const QString rest = clean.mid(root_.size() + 1); // "C/Tamblor/x.wav"
    if (rest.isEmpty() || !rest[0].isLetter() || (rest.size() > 1 && rest[1] != '/'))
        return {};
    QString tail = rest.mid(2);
    tail.replace('/', '\\');
    return QString(rest[0].toUpper()) + ":\\" + tail;
#endif
}

QList<QChar> DriveMap::drives() const
{
    QList<QChar> out;
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (driveExists(QChar(c)))
            out << QChar(c);
    }
    return out;
}

bool DriveMap::driveExists(QChar letter) const
{
#ifdef Q_OS_WIN
    return QFileInfo(QString(letter) + ":/").isDir();
#else
    return QFileInfo(driveFolder(letter)).isDir();
#endif
}

bool DriveMap::folderExists(const QString& dosPath) const
{
    return QFileInfo(toNative(dosPath)).isDir();
}

bool DriveMap::fileExists(const QString& dosPath) const
{
    return QFileInfo(toNative(dosPath)).isFile();
}

bool DriveMap::createFolder(const QString& dosPath) const
{
    const QString native = toNative(dosPath);
    if (QFileInfo(native).isDir())
        return true;
    return QDir().mkdir(native);
}

int64_t DriveMap::freeBytes(QChar letter) const
{
    QStorageInfo info(toNative(QString(letter) + ":\\"));
    if (!info.isValid())
        return -1;
    return info.bytesAvailable();
}

} // namespace tamblor
