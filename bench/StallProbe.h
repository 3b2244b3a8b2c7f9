#pragma once
// How long the user-interface thread went without answering events while some work ran: a 1 ms
// timer on that thread is timed, and the longest gap between two of its ticks (from the start
// of the work to its end) is the longest stall. Used by the benchmarks while a real window's
// job runs.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

namespace bench {

// Starts the work with `begin` (on this thread, counted as well) and turns the event loop until
// `done`; returns the longest stall in milliseconds.
inline double longestStall(const std::function<void()>& begin, const std::function<bool()>& done)
{
    QElapsedTimer clock;
    qint64 last = 0;
    double longest = 0;
    const auto tick = [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, double(now - last) / 1e6);
        last = now;
    };
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, tick);
    clock.start();
    probe.start();
    begin();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    tick();
    return longest;
}

// The median of three or more figures.
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace bench
