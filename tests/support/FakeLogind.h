#pragma once
// A logind of a test's own: a private bus (a dbus-daemon started for the test) and on it the
// one call of org.freedesktop.login1.Manager the program makes, Inhibit, which hands out the
// read end of a pipe as the lock. Whether anyone still holds that end tells whether the lock is
// held; every call is kept in the order it came.
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <vector>

namespace test_support {

class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    struct Lock {
        QStringList asked; // what, who, why, mode
        int writeEnd = -1;
    };
    ~FakeLogind() override;

    // Starts the bus; false when dbus-daemon cannot run. serve() puts logind on it.
    bool startBus();
    bool serve();
    QString address() const { return address_; }

    const std::vector<Lock>& locks() const { return locks_; }
    // Whether the lock handed out `n`th (from 0) is still held by anyone; the bus's own copies
    // of its descriptor are waited out for up to a second with the event loop running.
    bool held(size_t n, bool expectHeld) const;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode);

private:
    QProcess bus_;
    QString address_;
    std::vector<Lock> locks_;
    bool served_ = false;
};

} // namespace test_support
