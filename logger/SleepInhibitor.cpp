#include "logger/SleepInhibitor.h"
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>
#include <unistd.h>

namespace tamblor::logger {

bool SleepInhibitor::acquire(const QString& who, const QString& why)
{
    if (isHeld())
        return true;
    reason_.clear();
    QDBusConnection bus = busAddress_.isEmpty() ? QDBusConnection::systemBus()
                                                : QDBusConnection::connectToBus(busAddress_, "tamblor-sleep-inhibitor");
    if (!bus.isConnected()) {
        reason_ = "no system bus (" + bus.lastError().message() + ")";
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QString("sleep") << who << why << QString("block");
    // The answer is waited for with the event loop running, so that a service in this very
    // process (a test's) can give it.
    const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, AnswerMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        reason_ = reply.errorMessage().isEmpty() ? QString("logind did not answer") : reply.errorMessage();
        return false;
    }
    const auto descriptor = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().first());
    if (!descriptor.isValid()) {
        reason_ = "logind gave no lock";
        return false;
    }
    fd_ = ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0)
        reason_ = "the lock could not be kept";
    return fd_ >= 0;
}

void SleepInhibitor::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace tamblor::logger
