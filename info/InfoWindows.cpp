#include "info/InfoWindows.h"
#include "app/Application.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include <QFile>
#include <QFileInfo>

namespace tamblor {

void registerInfoWindows(Application& app)
{
    app.windows().registerWindow("frmAbout", [](Application& a) { return new frmAbout(a); });
    app.windows().registerWindow("frmHelp", [](Application& a) { return new frmHelp(a); });
}

bool installHelpFileIfMissing(Application& app)
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
    if (!QFile::copy(":/tamblor/TamblorHelp.rtf", target))
        return false;
    // Copies from the program's resources are read-only; the studio may want to edit it.
    QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    return true;
}

} // namespace tamblor
