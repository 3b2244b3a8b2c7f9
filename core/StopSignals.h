#pragma once
// Ends a program cleanly on SIGTERM (systemd stopping a service, a shutdown), SIGINT (Ctrl+C) or
// SIGHUP: the handler only writes a byte to a pipe; `stop` runs on the event loop. One at a time
// per program.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tamblor {

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(std::function<void()> stop, QObject* parent = nullptr);
    ~StopSignals() override;

private:
    static void onSignal(int);
    std::function<void()> stop_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tamblor
