#include "platform/SleepInhibitor.h"
#include <optional>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <fcntl.h>
#include <unistd.h>

namespace tamblor {

namespace {

QDBusConnection busAt(const QString& address)
{
    return address.isEmpty() ? QDBusConnection::systemBus()
                             : QDBusConnection::connectToBus(address, "tamblor-sleep-inhibitor " + address);
}

// Whether a system bus may be there: without one (a container) QtDBus is not started at all,
// so that asking costs nothing (no thread, no descriptor).
bool busMayBeThere(const QString& address)
{
    return !address.isEmpty() || qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS") ||
           QFileInfo::exists("/run/dbus/system_bus_socket") || QFileInfo::exists("/var/run/dbus/system_bus_socket");
}

const QString NoBus = "no system bus (/run/dbus/system_bus_socket is not there)";

QDBusMessage inhibitCall(const QString& who, const QString& why)
{
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QString("sleep") << who << why << QString("block");
    return call;
}

} // namespace

std::optional<QDBusConnection> SleepInhibitor::connectedBus()
{
    if (!busMayBeThere(busAddress_)) {
        reason_ = NoBus;
        return std::nullopt;
    }
    QDBusConnection bus = busAt(busAddress_);
    if (!bus.isConnected()) {
        reason_ = "no system bus (" + bus.lastError().message() + ")";
        return std::nullopt;
    }
    return bus;
}

SleepInhibitor::SleepInhibitor(QString busAddress) : busAddress_(std::move(busAddress)) {}

SleepInhibitor::~SleepInhibitor()
{
    release();
}

bool SleepInhibitor::keep(const QDBusMessage& reply)
{
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

bool SleepInhibitor::acquire(const QString& who, const QString& why)
{
    if (isHeld())
        return true;
    reason_.clear();
    const std::optional<QDBusConnection> bus = connectedBus();
    if (!bus)
        return false;
    // The answer is waited for with the event loop running, so that a service in this very
    // process (a test's) can give it.
    return keep(bus->call(inhibitCall(who, why), QDBus::BlockWithGui, AnswerMs));
}

bool SleepInhibitor::request(const QString& who, const QString& why, std::function<void(bool)> answered)
{
    release();
    reason_.clear();
    const std::optional<QDBusConnection> bus = connectedBus();
    if (!bus)
        return false;
    pending_ = std::make_unique<QDBusPendingCallWatcher>(bus->asyncCall(inhibitCall(who, why), AnswerMs));
    // The watcher is the connection's context: released or ended, no answer comes through.
    QObject::connect(pending_.get(), &QDBusPendingCallWatcher::finished, pending_.get(),
                     [this, answered = std::move(answered)](QDBusPendingCallWatcher* watcher) {
                         const bool held = keep(watcher->reply());
                         // The watcher goes once its answer is read, after this call returns.
                         pending_.release()->deleteLater();
                         if (answered)
                             answered(held);
                     });
    return true;
}

void SleepInhibitor::release()
{
    pending_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace tamblor
