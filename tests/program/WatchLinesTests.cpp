// `tamblor --watch-lines PORT` runs without a display (no window is made: the display
// variables are taken away) and ends with a message naming the port and the cause when the
// port cannot be used: a pseudo-terminal has no modem lines, a missing port is not there.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome watchLines(const QStringList& arguments)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(TAMBLOR_PROGRAM, QStringList{"--watch-lines"} + arguments);
    p.waitForFinished(20000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

TEST(WatchLinesTest, APseudoTerminalEndsItWithThePortAndTheCause)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString pty = QString::fromLocal8Bit(ptsname(master));
    const Outcome r = watchLines({pty});
    ::close(master);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(r.err.trimmed(), "tamblor: " + pty + " has no modem lines (Inappropriate ioctl for device): it is not "
                                                   "a serial port (a pseudo-terminal or a console). Choose the serial "
                                                   "port the contacts are wired to.");
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(WatchLinesTest, AMissingPortAndAMissingArgumentAreRefused)
{
    const Outcome missing = watchLines({"/dev/ttyUSB-none"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.startsWith("tamblor: /dev/ttyUSB-none is not there")) << missing.err.toStdString();
    const Outcome parallel = watchLines({"/dev/parport-none"});
    EXPECT_EQ(parallel.exitCode, 1);
    EXPECT_TRUE(parallel.err.startsWith("tamblor: /dev/parport-none is not there")) << parallel.err.toStdString();
    const Outcome none = watchLines({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.err.startsWith("usage: tamblor --watch-lines PORT"));
}
