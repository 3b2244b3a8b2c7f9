#include "logger/Watchdog.h"
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tamblor::logger {

Watchdog::Watchdog()
    : socket_(qEnvironmentVariable("NOTIFY_SOCKET")), periodUsec_(qEnvironmentVariable("WATCHDOG_USEC").toLongLong())
{
    // The programs the logger starts (timedatectl, an alarm command) are not the service: a
    // systemd tool that inherited the socket would report its own failure as the logger's.
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    unsetenv("WATCHDOG_PID");
}

bool Watchdog::notify(const QByteArray& message)
{
    if (socket_.isEmpty())
        return false;
    const QByteArray path = socket_.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0'; // an abstract socket
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t sent = ::sendto(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    ::close(fd);
    return sent == message.size();
}

bool Watchdog::ready()
{
    return notify("READY=1\nSTATUS=Recording");
}

bool Watchdog::stopping()
{
    return notify("STOPPING=1");
}

bool Watchdog::feed(qint64 steadyMs)
{
    if (socket_.isEmpty() || periodUsec_ <= 0)
        return false;
    if (lastFedMs_ >= 0 && steadyMs - lastFedMs_ < periodUsec_ / 2000)
        return false;
    lastFedMs_ = steadyMs;
    return notify("WATCHDOG=1");
}

} // namespace tamblor::logger
