#include "remote/ParallelLines.h"
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tamblor::remote {

namespace {
// The status register's bit for each pin of ParallelLines::Pins.
constexpr unsigned char StatusBits[] = {PARPORT_STATUS_ACK, PARPORT_STATUS_BUSY, PARPORT_STATUS_PAPEROUT,
                                        PARPORT_STATUS_SELECT, PARPORT_STATUS_ERROR};
} // namespace

ParallelLines::ParallelLines(QString device) : DevicePort(std::move(device)) {}

ParallelLines::~ParallelLines() { close(); }

QStringList ParallelLines::inputs() const
{
    QStringList names;
    for (int pin : Pins)
        names << QStringLiteral("pin %1").arg(pin);
    return names;
}

QStringList ParallelLines::outputs() const
{
    QStringList names;
    for (int pin = 2; pin <= 9; ++pin)
        names << QStringLiteral("pin %1").arg(pin);
    return names;
}

uint32_t ParallelLines::levelsOf(unsigned char status)
{
    uint32_t levels = 0;
    for (int i = 0; i < 5; ++i) {
        const bool high = status & StatusBits[i];
        // BUSY reads inverted: its bit is set while the pin is low.
        const bool low = StatusBits[i] == PARPORT_STATUS_BUSY ? high : !high;
        if (low)
            levels |= 1u << i;
    }
    return levels;
}

void ParallelLines::open()
{
    close();
    fd_ = ::open(device_.toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        failErrno(errno, false);
        return;
    }
    data_ = 0;
    claimed_ = false;
    openedAt_ = nowUs();
    setStatus(Status::Opening);
    startThread(); // the claim may wait for another program
}

void ParallelLines::close()
{
    stopThread(); // the thread sets the data pins to rest and releases the port
    claimed_ = false;
    setStatus(Status::Closed);
}

std::optional<PortProblem> ParallelLines::problem() const
{
    if (auto p = DevicePort::problem())
        return p;
    if (status() == Status::Opening && nowUs() - openedAt_.load() > int64_t(ClaimPatienceMs) * 1000)
        return PortProblem{device_, PortProblem::Cause::Taken, QStringLiteral("waiting for it to be released"), {}};
    return std::nullopt;
}

void ParallelLines::setOutput(int output, bool asserted)
{
    if (output < 0 || output > 7)
        return;
    const unsigned bit = 1u << output;
    unsigned data = data_.load();
    while (!data_.compare_exchange_weak(data, asserted ? data | bit : data & ~bit)) {
    }
}

bool ParallelLines::output(int output) const { return data_.load() & (1u << output); }

void ParallelLines::run()
{
    // Waits while another program holds the port; a signal ends the wait when closing.
    while (::ioctl(fd_, PPCLAIM) != 0) {
        const int err = errno;
        if (stopping())
            return;
        if (err == EINTR)
            continue;
        if (err == ENOTTY || err == EINVAL)
            fail(PortProblem{device_, PortProblem::Cause::NotAParallelPort, QString::fromLocal8Bit(strerror(err)), {}});
        else
            failErrno(err, false);
        return;
    }
    claimed_ = true;
    unsigned char written = 0;
    ::ioctl(fd_, PPWDATA, &written); // the data pins to rest at once
    unsigned char status = 0;
    if (::ioctl(fd_, PPRSTATUS, &status) != 0) {
        failErrno(errno, true);
        ::ioctl(fd_, PPRELEASE);
        return;
    }
    publishLevels(levelsOf(status), nowUs());
    takeEdges(); // the levels at the claim are no edges
    setStatus(Status::Open);
    while (!stopping()) {
        const unsigned char wanted = static_cast<unsigned char>(data_.load());
        if (wanted != written) {
            if (::ioctl(fd_, PPWDATA, &wanted) != 0 && errno != EINTR) {
                failErrno(errno, true);
                break;
            }
            written = wanted;
        }
        if (::ioctl(fd_, PPRSTATUS, &status) != 0) {
            if (errno == EINTR)
                continue;
            failErrno(errno, true);
            break;
        }
        publishLevels(levelsOf(status), nowUs());
        pause(PollMs);
    }
    written = 0;
    ::ioctl(fd_, PPWDATA, &written);
    ::ioctl(fd_, PPRELEASE);
}

} // namespace tamblor::remote
