#pragma once
// Ending the program from outside (SIGTERM, SIGHUP, SIGINT; the desktop session ending at
// logout) takes the same way as closing the main menu, so a take under way is finished and
// kept. The signal handler only writes to a pipe; the rest runs on the UI thread.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tamblor {

class EndSignals : public QObject {
    Q_OBJECT
public:
    // `end` runs on the UI thread once one of the signals has come.
    explicit EndSignals(std::function<void()> end, QObject* parent = nullptr);
    ~EndSignals() override;

private:
    static void onSignal(int number);
    std::function<void()> end_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tamblor
