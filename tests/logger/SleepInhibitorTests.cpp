// The sleep inhibitor against a logind of the test's own on a private bus: it asks for a
// "sleep" block lock, holds the descriptor it is given while it records and lets go of it after;
// with no logind there it says why.
#include "logger/SleepInhibitor.h"
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace {

class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList asked;
    int writeEnd = -1;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        asked = {what, who, why, mode};
        int ends[2];
        if (::pipe(ends) != 0)
            return {};
        writeEnd = ends[1];
        QDBusUnixFileDescriptor lock(ends[0]); // a copy of its own
        ::close(ends[0]);
        return lock;
    }
};

// Whether anyone still holds the read end of the lock's pipe.
bool lockHeld(int writeEnd)
{
    pollfd p{writeEnd, POLLOUT, 0};
    ::poll(&p, 1, 0);
    return !(p.revents & POLLERR);
}

class SleepInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus.waitForStarted(5000));
        ASSERT_TRUE(bus.waitForReadyRead(5000));
        address = QString::fromLatin1(bus.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus("fake-logind");
        QDBusConnection::disconnectFromBus("tamblor-sleep-inhibitor");
        bus.terminate();
        bus.waitForFinished(5000);
    }
    QProcess bus;
    QString address;
};

} // namespace

TEST_F(SleepInhibitorTest, HoldsASleepBlockLockFromLogindWhileRecordingAndLetsGoAfter)
{
    FakeLogind logind;
    QDBusConnection service = QDBusConnection::connectToBus(address, "fake-logind");
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.login1"));

    tamblor::logger::SleepInhibitor inhibitor(address);
    ASSERT_TRUE(inhibitor.acquire("Tamblor logger", "Recording")) << inhibitor.reason().toStdString();
    EXPECT_EQ(logind.asked, (QStringList{"sleep", "Tamblor logger", "Recording", "block"}));
    EXPECT_TRUE(inhibitor.isHeld());
    QCoreApplication::processEvents();
    EXPECT_TRUE(lockHeld(logind.writeEnd));
    inhibitor.release();
    EXPECT_FALSE(inhibitor.isHeld());
    // The bus's own copies of the descriptor go as its messages are done with.
    for (int i = 0; i < 200 && lockHeld(logind.writeEnd); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_FALSE(lockHeld(logind.writeEnd));
    ::close(logind.writeEnd);
}

TEST_F(SleepInhibitorTest, WithoutLogindItSaysWhyAndHoldsNothing)
{
    tamblor::logger::SleepInhibitor inhibitor(address);
    EXPECT_FALSE(inhibitor.acquire("Tamblor logger", "Recording"));
    EXPECT_FALSE(inhibitor.isHeld());
    EXPECT_FALSE(inhibitor.reason().isEmpty());
}

#include "SleepInhibitorTests.moc"
