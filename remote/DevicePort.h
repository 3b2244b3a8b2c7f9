#pragma once
// What the ports on real devices share: the device's file, a thread of the port's own that
// waits for the lines and queues their edges, the status and problem the owner reads, and the
// monotonic clock. A blocking wait of that thread (TIOCMIWAIT, PPCLAIM) is ended by a signal
// sent to that thread alone (its handler does nothing; the call returns EINTR).
#include "remote/LinePort.h"
#include <atomic>
#include <mutex>
#include <thread>

namespace tamblor::remote {

class DevicePort : public LinePort {
public:
    explicit DevicePort(QString device);
    ~DevicePort() override;

    QString device() const override { return device_; }
    Status status() const override;
    std::optional<PortProblem> problem() const override;
    uint32_t levels() const override;
    std::vector<RawEdge> takeEdges() override;
    int64_t nowUs() const override { return monotonicUs(); }

    static int64_t monotonicUs();

protected:
    // Starts run() on the port's thread.
    void startThread();
    // Ends the thread (interrupting a blocking call) and closes the file.
    void stopThread();
    bool stopping() const { return stop_.load(); }
    // The thread's loop; returns when stopping() or after fail().
    virtual void run() = 0;

    void setStatus(Status status);
    void fail(PortProblem problem);
    void failErrno(int err, bool inUse);
    // Records the new levels; an edge for each input that changed.
    void publishLevels(uint32_t levels, int64_t atUs);
    void publishEdge(const RawEdge& edge);
    // Sleeps up to `ms` (shorter when stopping).
    void pause(int ms) const;

    int fd_ = -1;
    const QString device_;

private:
    mutable std::mutex mutex_;
    Status status_ = Status::Closed;
    std::optional<PortProblem> problem_;
    uint32_t levels_ = 0;
    std::vector<RawEdge> edges_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
};

} // namespace tamblor::remote
