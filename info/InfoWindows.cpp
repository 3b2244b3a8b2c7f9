#include "info/InfoWindows.h"
#include "app/Application.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tamblor {

void registerInfoWindows(Application& app)
{
    app.windows().registerWindow(WindowName::frmAbout, [](Application& a) { return new frmAbout(a); });
    app.windows().registerWindow(WindowName::frmHelp, [](Application& a) { return new frmHelp(a); });
}

QString shippedHelpFile(const QString& programFolder)
{
    const QString installed = QDir(programFolder).filePath("../share/tamblor/TamblorHelp.rtf");
    if (QFileInfo(installed).isFile())
        return QDir::cleanPath(installed);
    return QStringLiteral(":/tamblor/TamblorHelp.rtf");
}

bool installHelpFileIfMissing(Application& app, const QString& source)
{
    DriveMap& drives = app.drives();
    if (drives.fileExists(frmHelp::HelpFile))
        return true;
    const QString folder = "c:\\Program Files\\Tamblor";
    if (!drives.folderExists(folder)) {
        drives.createFolder("c:\\Program Files");
        if (!drives.createFolder(folder))
            return false;
    }
    const QString target = drives.toNative(frmHelp::HelpFile);
    if (QFileInfo::exists(target))
        return false; // something that is not a file is in the way
    if (!QFile::copy(source, target))
        return false;
    // Copies of the program's own files are read-only; the studio may want to edit it.
    QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    return true;
}

} // namespace tamblor
