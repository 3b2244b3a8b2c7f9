// Real devices that are no serial port with modem lines are refused with the port and the
// cause: a pseudo-terminal (TIOCMGET answers with an error), a missing device, a device the
// user may not open.
#include "remote/LineWatch.h"
#include "remote/ParallelLines.h"
#include "remote/Ports.h"
#include "remote/SerialLines.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace tamblor::remote;

namespace {

// A pseudo-terminal pair; the terminal side's name is what a port choice would hold.
struct Pty {
    int master = -1;
    QString terminal;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            terminal = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
};

} // namespace

TEST(SerialPortTest, APseudoTerminalIsRefusedForHavingNoModemLines)
{
    Pty pty;
    ASSERT_FALSE(pty.terminal.isEmpty());
    // What the port relies on: a pty answers TIOCMGET with an error.
    const int fd = ::open(pty.terminal.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int bits = 0;
    EXPECT_NE(::ioctl(fd, TIOCMGET, &bits), 0);
    ::close(fd);

    SerialLines port(pty.terminal);
    port.open();
    EXPECT_EQ(port.status(), LinePort::Status::Failed);
    ASSERT_TRUE(port.problem());
    EXPECT_EQ(port.problem()->cause, PortProblem::Cause::NoModemLines);
    EXPECT_EQ(port.problem()->text(), pty.terminal + " has no modem lines (Inappropriate ioctl for device): it is not a "
                                                     "serial port (a pseudo-terminal or a console). Choose the serial "
                                                     "port the contacts are wired to.");
}

TEST(SerialPortTest, TheWatchTellsARefusedPtyAndTriesItAgain)
{
    Pty pty;
    LineMap map = LineMap::defaults(LinePort::Kind::Serial);
    map.port = pty.terminal;
    int made = 0;
    LineWatch watch([&](const LineMap& m) {
        ++made;
        return makeDevicePort(m);
    });
    watch.start(map);
    ASSERT_TRUE(watch.problem());
    EXPECT_EQ(watch.problem()->cause, PortProblem::Cause::NoModemLines);
    EXPECT_EQ(watch.problem()->port, pty.terminal);
    EXPECT_FALSE(watch.isOpen());
    EXPECT_EQ(made, 1);
}

TEST(SerialPortTest, AMissingPortAndOneTheUserMayNotOpenAreToldWithTheirCause)
{
    SerialLines missing("/dev/ttyUSB-no-such-port");
    missing.open();
    ASSERT_TRUE(missing.problem());
    EXPECT_EQ(missing.problem()->cause, PortProblem::Cause::Missing);
    EXPECT_TRUE(missing.problem()->text().startsWith("/dev/ttyUSB-no-such-port is not there"));

    if (geteuid() == 0)
        GTEST_SKIP() << "root opens every file";
    QTemporaryDir dir;
    const QString path = dir.filePath("ttyS9");
    ::close(::open(path.toLocal8Bit().constData(), O_CREAT | O_WRONLY, 0000));
    SerialLines forbidden(path);
    forbidden.open();
    ASSERT_TRUE(forbidden.problem());
    EXPECT_EQ(forbidden.problem()->cause, PortProblem::Cause::NotAllowed);
    EXPECT_FALSE(forbidden.problem()->group.isEmpty());
    EXPECT_TRUE(forbidden.problem()->text().contains("Add the user to the group " + forbidden.problem()->group));
}

TEST(SerialPortTest, ThePermissionProblemNamesTheGroupThatMayOpenThePort)
{
    PortProblem p = PortProblem::fromErrno("/dev/ttyUSB0", EACCES, "dialout");
    EXPECT_EQ(p.cause, PortProblem::Cause::NotAllowed);
    EXPECT_EQ(p.text(), "/dev/ttyUSB0 cannot be opened: this user may not use it (Permission denied). Add the user to "
                        "the group dialout and log in again.");
    p = PortProblem::fromErrno("/dev/parport0", EBUSY, "lp");
    EXPECT_EQ(p.cause, PortProblem::Cause::Taken);
}

TEST(SerialPortTest, TheModemAndStatusBitsAreReadAsTheKernelDocumentsThem)
{
    // TIOCMGET: DSR, CTS, DCD, RI.
    EXPECT_EQ(SerialLines::levelsOf(TIOCM_DSR), 1u << SerialLines::Dsr);
    EXPECT_EQ(SerialLines::levelsOf(TIOCM_CTS | TIOCM_CD), (1u << SerialLines::Cts) | (1u << SerialLines::Dcd));
    EXPECT_EQ(SerialLines::levelsOf(TIOCM_DTR | TIOCM_RTS), 0u); // outputs are no inputs
    // PPRSTATUS: a pin pulled to ground asserts it; BUSY (pin 11, 0x80) reads inverted.
    // All pins high (nothing closed): ACK, PAPEROUT, SELECT, ERROR set, BUSY clear.
    EXPECT_EQ(ParallelLines::levelsOf(0x40 | 0x20 | 0x10 | 0x08), 0u);
    // Pin 12 (PAPEROUT, 0x20) pulled low.
    EXPECT_EQ(ParallelLines::levelsOf(0x40 | 0x10 | 0x08), 1u << 2);
    // Pin 11 pulled low sets BUSY.
    EXPECT_EQ(ParallelLines::levelsOf(0x80 | 0x40 | 0x20 | 0x10 | 0x08), 1u << 1);
    EXPECT_EQ(kindOfDevice("/dev/parport0"), LinePort::Kind::Parallel);
    EXPECT_EQ(kindOfDevice("/dev/ttyUSB0"), LinePort::Kind::Serial);
}
