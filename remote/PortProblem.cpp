#include "remote/PortProblem.h"
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>

namespace tamblor::remote {

const char* PortProblem::causeName(Cause cause)
{
    switch (cause) {
    case Cause::Missing: return "missing";
    case Cause::Taken: return "taken";
    case Cause::NotAllowed: return "not allowed";
    case Cause::NoModemLines: return "no modem lines";
    case Cause::NotAParallelPort: return "not a parallel port";
    case Cause::Unplugged: return "unplugged";
    case Cause::Failed: return "failed";
    }
    return "?";
}

QString PortProblem::text() const
{
    const QString sys = detail.isEmpty() ? QString() : " (" + detail + ")";
    switch (cause) {
    case Cause::Missing:
        return port + " is not there: no such port on this machine. Plug the adapter in, or choose another "
                      "port; the program looks for it again every few seconds.";
    case Cause::Taken:
        return port + " is taken by another program" + sys +
               ". The remote lines are read as soon as that program lets it go.";
    case Cause::NotAllowed:
        return port + " cannot be opened: this user may not use it" + sys + ". Add the user to the group " +
               (group.isEmpty() ? QStringLiteral("that owns the port") : group) + " and log in again.";
    case Cause::NoModemLines:
        return port + " has no modem lines" + sys +
               ": it is not a serial port (a pseudo-terminal or a console). Choose the serial port the "
               "contacts are wired to.";
    case Cause::NotAParallelPort:
        return port + " is not a parallel port" + sys + ". Choose a /dev/parport device.";
    case Cause::Unplugged:
        return port + " went away while in use (unplugged?)" + sys +
               ". A take under way goes on; the program looks for the port again every few seconds.";
    case Cause::Failed:
        return port + " cannot be used" + sys + ".";
    }
    return port;
}

QString PortProblem::ownerGroup(const QString& port)
{
    struct stat st {};
    if (::stat(port.toLocal8Bit().constData(), &st) != 0)
        return {};
    if (const struct ::group* g = ::getgrgid(st.st_gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(st.st_gid);
}

PortProblem PortProblem::fromErrno(const QString& port, int err, const QString& group)
{
    PortProblem p;
    p.port = port;
    p.detail = QString::fromLocal8Bit(std::strerror(err));
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        p.cause = Cause::Missing;
        break;
    case EBUSY:
    case EWOULDBLOCK:
        p.cause = Cause::Taken;
        break;
    case EACCES:
    case EPERM:
        p.cause = Cause::NotAllowed;
        p.group = group;
        break;
    case ENOTTY:
    case EINVAL:
        p.cause = Cause::NoModemLines;
        break;
    case EIO:
        p.cause = Cause::Unplugged;
        break;
    default:
        p.cause = Cause::Failed;
        break;
    }
    return p;
}

} // namespace tamblor::remote
