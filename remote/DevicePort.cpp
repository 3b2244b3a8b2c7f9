#include "remote/DevicePort.h"
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace tamblor::remote {

namespace {

// The signal that wakes a port's thread out of a blocking ioctl.
int wakeSignal() { return SIGRTMIN + 3; }

void installWakeHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the blocking call returns EINTR
        sigaction(wakeSignal(), &action, nullptr);
    });
}

} // namespace

DevicePort::DevicePort(QString device) : device_(std::move(device)) {}

DevicePort::~DevicePort() = default;

int64_t DevicePort::monotonicUs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

LinePort::Status DevicePort::status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

std::optional<PortProblem> DevicePort::problem() const
{
    std::lock_guard lock(mutex_);
    return problem_;
}

uint32_t DevicePort::levels() const
{
    std::lock_guard lock(mutex_);
    return levels_;
}

std::vector<RawEdge> DevicePort::takeEdges()
{
    std::lock_guard lock(mutex_);
    std::vector<RawEdge> edges;
    edges.swap(edges_);
    return edges;
}

void DevicePort::setStatus(Status status)
{
    std::lock_guard lock(mutex_);
    status_ = status;
    if (status == Status::Open || status == Status::Closed)
        problem_.reset();
}

void DevicePort::fail(PortProblem problem)
{
    std::lock_guard lock(mutex_);
    status_ = Status::Failed;
    problem_ = std::move(problem);
}

void DevicePort::failErrno(int err, bool inUse)
{
    PortProblem p = PortProblem::fromErrno(device_, err, PortProblem::ownerGroup(device_));
    // A port that was in use and stops answering was taken away.
    if (inUse && (p.cause == PortProblem::Cause::Missing || p.cause == PortProblem::Cause::Failed ||
                  p.cause == PortProblem::Cause::NoModemLines))
        p.cause = PortProblem::Cause::Unplugged;
    fail(std::move(p));
}

void DevicePort::publishLevels(uint32_t levels, int64_t atUs)
{
    std::lock_guard lock(mutex_);
    const uint32_t changed = levels ^ levels_;
    for (int i = 0; i < 32; ++i)
        if (changed & (1u << i))
            edges_.push_back({atUs, i, bool(levels & (1u << i)), false});
    levels_ = levels;
}

void DevicePort::publishEdge(const RawEdge& edge)
{
    std::lock_guard lock(mutex_);
    edges_.push_back(edge);
}

void DevicePort::pause(int ms) const
{
    for (int waited = 0; waited < ms && !stop_.load(); waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5, ms - waited)));
}

void DevicePort::startThread()
{
    installWakeHandler();
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this] {
        run();
        running_ = false;
    });
}

void DevicePort::stopThread()
{
    if (thread_.joinable()) {
        stop_ = true;
        // A blocking wait is interrupted; a signal that arrives just before the wait begins is
        // sent again.
        while (running_.load()) {
            pthread_kill(thread_.native_handle(), wakeSignal());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        thread_.join();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    std::lock_guard lock(mutex_);
    edges_.clear();
    levels_ = 0;
}

} // namespace tamblor::remote
