#pragma once
// Ending the program from outside (SIGTERM, SIGHUP, SIGINT; the desktop session ending at
// logout) takes the same way as closing the main menu, so a take under way is finished and
// kept. The signals come through the core's StopSignals; the rest runs on the UI thread.
#include "core/StopSignals.h"
#include <QObject>
#include <functional>

namespace tamblor {

class EndSignals : public QObject {
    Q_OBJECT
public:
    // `end` runs on the UI thread once one of the signals has come.
    explicit EndSignals(std::function<void()> end, QObject* parent = nullptr);

private:
    std::function<void()> end_;
    StopSignals signals_;
};

} // namespace tamblor
