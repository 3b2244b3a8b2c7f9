#pragma once
// Keeps the machine from going to sleep while the logger records: a "sleep" block lock from
// systemd-logind (org.freedesktop.login1.Manager.Inhibit over the system bus), held as the file
// descriptor logind hands out and released by closing it. Where there is no logind (a
// container, another init) it says why and the logger records all the same.
#include <QString>

namespace tamblor::logger {

class SleepInhibitor {
public:
    // The system bus, or the bus at `busAddress` (a test's own).
    explicit SleepInhibitor(QString busAddress = {}) : busAddress_(std::move(busAddress)) {}
    ~SleepInhibitor() { release(); }
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // False, with reason() set, when logind cannot be asked or refuses.
    bool acquire(const QString& who, const QString& why);
    void release();
    bool isHeld() const { return fd_ >= 0; }
    QString reason() const { return reason_; }

    // How long logind is given to answer.
    static constexpr int AnswerMs = 3000;

private:
    QString busAddress_;
    int fd_ = -1;
    QString reason_;
};

} // namespace tamblor::logger
