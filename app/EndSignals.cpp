#include "app/EndSignals.h"
#include <QGuiApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tamblor {

namespace {
int pipeEnds[2] = {-1, -1};
} // namespace

void EndSignals::onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
}

EndSignals::EndSignals(std::function<void()> end, QObject* parent) : QObject(parent), end_(std::move(end))
{
    if (::pipe(pipeEnds) == 0) {
        ::fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
        notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(pipeEnds[0], &byte, 1);
            end_();
        });
        struct sigaction sa {};
        sa.sa_handler = &EndSignals::onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int s : {SIGTERM, SIGHUP, SIGINT})
            ::sigaction(s, &sa, nullptr);
    }
    // Logout: the session manager asks the program to save its data before it goes.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, [this] { end_(); });
    }
}

EndSignals::~EndSignals()
{
    for (int s : {SIGTERM, SIGHUP, SIGINT})
        ::signal(s, SIG_DFL);
    delete notifier_;
    for (int& fd : pipeEnds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace tamblor
