#include "tests/support/FakeLogind.h"
#include <QCoreApplication>
#include <QDBusConnection>
#include <QThread>
#include <poll.h>
#include <unistd.h>

namespace test_support {

namespace {

constexpr const char* ServiceConnection = "fake-logind";

bool open(int writeEnd)
{
    pollfd p{writeEnd, POLLOUT, 0};
    ::poll(&p, 1, 0);
    return !(p.revents & POLLERR);
}

} // namespace

FakeLogind::~FakeLogind()
{
    if (served_)
        QDBusConnection::disconnectFromBus(ServiceConnection);
    QDBusConnection::disconnectFromBus("tamblor-sleep-inhibitor " + address_);
    for (const Lock& l : locks_)
        ::close(l.writeEnd);
    if (bus_.state() != QProcess::NotRunning) {
        bus_.terminate();
        bus_.waitForFinished(5000);
    }
}

bool FakeLogind::startBus()
{
    bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus_.waitForStarted(5000) || !bus_.waitForReadyRead(5000))
        return false;
    address_ = QString::fromLatin1(bus_.readLine()).trimmed();
    return !address_.isEmpty();
}

bool FakeLogind::serve()
{
    QDBusConnection service = QDBusConnection::connectToBus(address_, ServiceConnection);
    served_ = service.isConnected() &&
              service.registerObject("/org/freedesktop/login1", this, QDBusConnection::ExportAllSlots) &&
              service.registerService("org.freedesktop.login1");
    return served_;
}

QDBusUnixFileDescriptor FakeLogind::Inhibit(const QString& what, const QString& who, const QString& why,
                                            const QString& mode)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return {};
    locks_.push_back({{what, who, why, mode}, ends[1]});
    QDBusUnixFileDescriptor lock(ends[0]); // a copy of its own
    ::close(ends[0]);
    return lock;
}

bool FakeLogind::held(size_t n, bool expectHeld) const
{
    for (int i = 0; i < 100 && open(locks_.at(n).writeEnd) != expectHeld; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return open(locks_.at(n).writeEnd);
}

} // namespace test_support
