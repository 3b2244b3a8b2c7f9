#pragma once
// Tells systemd how the logger is (sd_notify): READY=1 once it records, WATCHDOG=1 while it is
// well, STOPPING=1 as it ends. The message is one datagram to the unix socket systemd names in
// $NOTIFY_SOCKET (an abstract one when it begins with '@'); without it nothing is sent. The
// watchdog's period is $WATCHDOG_USEC; feed() sends at most twice a period.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tamblor::logger {

class Watchdog {
public:
    // Reads $NOTIFY_SOCKET and $WATCHDOG_USEC and takes them out of the environment, so that
    // no program started from here speaks for the logger.
    Watchdog();
    Watchdog(QString socket, qint64 periodUsec) : socket_(std::move(socket)), periodUsec_(periodUsec) {}

    bool isActive() const { return !socket_.isEmpty(); }
    qint64 periodMs() const { return periodUsec_ / 1000; }
    bool ready();
    bool stopping();
    // A keep-alive, sent when the last one is half a period old (`steadyMs` a clock that
    // never jumps). True when one was sent.
    bool feed(qint64 steadyMs);
    bool notify(const QByteArray& message);

private:
    QString socket_;
    qint64 periodUsec_ = 0;
    qint64 lastFedMs_ = -1;
};

} // namespace tamblor::logger
