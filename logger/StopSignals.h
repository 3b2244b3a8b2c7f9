#pragma once
// Ends a program without windows cleanly on SIGTERM (systemd stopping the service), SIGINT
// (Ctrl+C) or SIGHUP: the handler only writes a byte to a pipe; `stop` runs on the event loop.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tamblor::logger {

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

} // namespace tamblor::logger
