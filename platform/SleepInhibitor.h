#pragma once
// Keeps the machine from going to sleep while something records: a "sleep" block lock from
// systemd-logind (org.freedesktop.login1.Manager.Inhibit over the system bus), held as the file
// descriptor logind hands out and released by closing it. Where there is no logind (a
// container, another init) it says why and the caller records all the same.
//
// acquire() waits for logind's answer (the logger, at its start); request() does not (the
// windowed program, whose thread must never stand still): the answer comes later on this
// thread, through the callback.
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QDBusConnection;
class QDBusMessage;
class QDBusPendingCallWatcher;

namespace tamblor {

class SleepInhibitor {
public:
    // The system bus, or the bus at `busAddress` (a test's own).
    explicit SleepInhibitor(QString busAddress = {});
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // False, with reason() set, when logind cannot be asked or refuses.
    bool acquire(const QString& who, const QString& why);
    // Asks without waiting; `answered(held)` follows on this thread (never after release() or
    // the inhibitor's end). False, with reason() set and no callback, when there is no bus.
    bool request(const QString& who, const QString& why, std::function<void(bool held)> answered);
    bool isPending() const { return pending_ != nullptr; }
    // Lets go of the lock (or of the request under way).
    void release();
    bool isHeld() const { return fd_ >= 0; }
    QString reason() const { return reason_; }

    // How long logind is given to answer.
    static constexpr int AnswerMs = 3000;

private:
    // The system bus (or the one given), none with reason() set when there is none.
    std::optional<QDBusConnection> connectedBus();
    bool keep(const QDBusMessage& reply);

    QString busAddress_;
    int fd_ = -1;
    QString reason_;
    std::unique_ptr<QDBusPendingCallWatcher> pending_;
};

} // namespace tamblor
