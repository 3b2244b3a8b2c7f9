#pragma once
// Resolves the program's DOS paths ("c:\Tamblor\Schedule.dat") to native ones.
//
// On Windows the mapping is the identity. Elsewhere every drive letter X is a folder <root>/X,
// where <root> is $TAMBLOR_ROOT or the per-user application data folder. Each path component
// is matched without regard to case against what exists, so SF0005.WAV and sf0005.wav name
// one file; a component that does not exist yet keeps the case it was asked for.
#include <QChar>
#include <QList>
#include <QString>
#include <cstdint>

namespace tamblor {

class DriveMap {
public:
    // Uses $TAMBLOR_ROOT, else the application data folder. Drive C (with its "Program Files"
    // folder, as on a system drive) is created when missing.
    DriveMap();
    explicit DriveMap(QString root);

    const QString& root() const { return root_; }

    // "c:\Tamblor\SF0005.wav" -> "<root>/C/Tamblor/SF0005.wav" (case matched on disk).
    // Accepts "\" and "/" as separators; "." is skipped and ".." never climbs above the drive.
    // A path without a drive letter is taken relative to drive C.
    QString toNative(const QString& dosPath) const;
    // The reverse: a native path below a drive folder -> "C:\Tamblor\SF0005.wav".
    // Returns an empty text for paths outside every drive folder.
    QString toDos(const QString& nativePath) const;

    // Existing drive letters in letter order (upper case).
    QList<QChar> drives() const;
    bool driveExists(QChar letter) const;
    QString driveFolder(QChar letter) const;

    bool folderExists(const QString& dosPath) const;
    bool fileExists(const QString& dosPath) const;
    // Creates only the last level of the path; false when that fails (missing parent too).
    bool createFolder(const QString& dosPath) const;
    // Bytes free for an unprivileged writer on the file system holding the drive; -1 unknown.
    int64_t freeBytes(QChar letter) const;

    static QString defaultRoot();

private:
    QString root_;
};

} // namespace tamblor
