#include "core/StopSignals.h"
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tamblor {

namespace {
int pipeEnds[2] = {-1, -1};
const int Signals[] = {SIGTERM, SIGINT, SIGHUP};
} // namespace

void StopSignals::onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
}

StopSignals::StopSignals(std::function<void()> stop, QObject* parent) : QObject(parent), stop_(std::move(stop))
{
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return;
    ::fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(pipeEnds[0], &byte, 1);
        stop_();
    });
    struct sigaction sa {};
    sa.sa_handler = &StopSignals::onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : Signals)
        ::sigaction(s, &sa, nullptr);
}

StopSignals::~StopSignals()
{
    for (int s : Signals)
        ::signal(s, SIG_DFL);
    delete notifier_;
    for (int& fd : pipeEnds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace tamblor
