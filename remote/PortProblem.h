#pragma once
// Why a port of remote lines cannot be used, as a value: the port, the cause, and the words
// the operator reads ("/dev/ttyUSB0 cannot be opened: this user may not use it. Add the user
// to the group dialout and log in again.").
#include <QString>

namespace tamblor::remote {

struct PortProblem {
    enum class Cause {
        Missing,      // no such device (never there, or unplugged before opening)
        Taken,        // another program holds it
        NotAllowed,   // the user may not open it: `group` names the group that may
        NoModemLines, // it opens but has no modem lines (a pseudo-terminal, a console)
        NotAParallelPort, // ppdev refuses it
        Unplugged,    // it went away while in use
        Failed,       // anything else: `detail` says what the system said
    };

    QString port;
    Cause cause = Cause::Failed;
    QString detail; // the system's words (strerror), where there are some
    QString group;  // NotAllowed: the group that may open the port ("dialout", "lp")

    // The whole sentence for the operator, naming the port and the cause.
    QString text() const;
    static const char* causeName(Cause cause);

    // The problem an open() that failed with `err` (an errno value) stands for. `group` is the
    // group owning the device (asked of the file), used for EACCES and EPERM.
    static PortProblem fromErrno(const QString& port, int err, const QString& group);
    // The group that owns the device file (empty when it cannot be read).
    static QString ownerGroup(const QString& port);

    bool operator==(const PortProblem&) const = default;
};

} // namespace tamblor::remote
