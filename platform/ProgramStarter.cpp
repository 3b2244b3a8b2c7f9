#include "platform/ProgramStarter.h"
#include <QFileInfo>
#include <QProcess>

namespace tamblor {

bool ProcessStarter::start(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}

} // namespace tamblor
