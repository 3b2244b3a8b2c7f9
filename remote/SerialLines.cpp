#include "remote/SerialLines.h"
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tamblor::remote {

namespace {

constexpr int WatchedLines = TIOCM_DSR | TIOCM_CTS | TIOCM_CD | TIOCM_RNG;

int modemBitOf(int output) { return output == SerialLines::Dtr ? TIOCM_DTR : TIOCM_RTS; }

} // namespace

SerialLines::SerialLines(QString device) : DevicePort(std::move(device)) {}

SerialLines::~SerialLines() { close(); }

uint32_t SerialLines::levelsOf(int bits)
{
    uint32_t levels = 0;
    if (bits & TIOCM_DSR)
        levels |= 1u << Dsr;
    if (bits & TIOCM_CTS)
        levels |= 1u << Cts;
    if (bits & TIOCM_CD)
        levels |= 1u << Dcd;
    if (bits & TIOCM_RNG)
        levels |= 1u << Ri;
    return levels;
}

void SerialLines::open()
{
    close();
    const QByteArray path = device_.toLocal8Bit();
    fd_ = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        failErrno(errno, false);
        return;
    }
    auto refuse = [this](int err) {
        failErrno(err, false);
        ::close(fd_);
        fd_ = -1;
    };
    // Another program holding the port with flock.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        return refuse(errno == EWOULDBLOCK ? EBUSY : errno);
    // A port without modem lines (a pseudo-terminal, a console) answers with an error.
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0)
        return refuse(errno);
    // The outputs to rest at once: the kernel raised DTR and RTS at open.
    int outputs = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIC, &outputs) != 0)
        return refuse(errno);
    outputs_ = 0;
    termios tio {};
    if (::tcgetattr(fd_, &tio) != 0)
        return refuse(errno);
    tio.c_cflag |= CLOCAL;
    tio.c_cflag &= ~tcflag_t(HUPCL);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
        return refuse(errno);
    ::ioctl(fd_, TIOCEXCL); // no other program opens it meanwhile (root aside)
    publishLevels(levelsOf(bits), nowUs());
    takeEdges(); // the levels at open are no edges
    setStatus(Status::Open);
    startThread();
}

void SerialLines::close()
{
    if (fd_ >= 0 && status() == Status::Open) {
        int outputs = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd_, TIOCMBIC, &outputs); // the outputs at rest when the program lets go
    }
    stopThread();
    outputs_ = 0;
    setStatus(Status::Closed);
}

void SerialLines::setOutput(int output, bool asserted)
{
    if (fd_ < 0 || status() != Status::Open || (output != Dtr && output != Rts))
        return;
    int bit = modemBitOf(output);
    if (::ioctl(fd_, asserted ? TIOCMBIS : TIOCMBIC, &bit) != 0)
        return; // the lines' thread reports a port that went away
    outputs_ = asserted ? outputs_ | (1u << output) : outputs_ & ~(1u << output);
}

bool SerialLines::output(int output) const { return outputs_ & (1u << output); }

void SerialLines::run()
{
    serial_icounter_struct counts {};
    int bits = 0;
    if (::ioctl(fd_, TIOCGICOUNT, &counts) == 0 && ::ioctl(fd_, TIOCMGET, &bits) == 0)
        runWaiting();
    else
        runPolling();
}

void SerialLines::runWaiting()
{
    serial_icounter_struct before {};
    int bits = 0;
    ::ioctl(fd_, TIOCGICOUNT, &before);
    ::ioctl(fd_, TIOCMGET, &bits);
    uint32_t levels = levelsOf(bits);
    while (!stopping()) {
        if (::ioctl(fd_, TIOCMIWAIT, WatchedLines) != 0) {
            const int err = errno;
            if (err == EINTR)
                continue;
            if (err == EINVAL || err == ENOTTY) {
                runPolling(); // the driver cannot wait: read the lines every 10 ms instead
                return;
            }
            failErrno(err, true);
            return;
        }
        serial_icounter_struct after {};
        if (::ioctl(fd_, TIOCGICOUNT, &after) != 0 || ::ioctl(fd_, TIOCMGET, &bits) != 0) {
            failErrno(errno, true);
            return;
        }
        const int64_t at = nowUs();
        const uint32_t now = levelsOf(bits);
        // Transitions counted beyond the one the level shows were pulses too short to read.
        const int counted[] = {after.dsr - before.dsr, after.cts - before.cts, after.dcd - before.dcd};
        for (int input = Dsr; input <= Dcd; ++input) {
            const bool was = levels & (1u << input), is = now & (1u << input);
            const int extra = counted[input] - (was != is ? 1 : 0);
            for (int p = 0; p < extra / 2; ++p)
                publishEdge({at, input, was, true});
        }
        // RI counts its trailing edges: each is a pulse.
        for (int p = 0; p < after.rng - before.rng; ++p)
            publishEdge({at, Ri, false, true});
        publishLevels((now & ~(1u << Ri)) | (levels & (1u << Ri)), at);
        levels = (now & ~(1u << Ri)) | (levels & (1u << Ri));
        before = after;
    }
}

void SerialLines::runPolling()
{
    polling_ = true;
    while (!stopping()) {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
            if (errno == EINTR)
                continue;
            failErrno(errno, true);
            return;
        }
        publishLevels(levelsOf(bits), nowUs());
        pause(PollMs);
    }
}

} // namespace tamblor::remote
