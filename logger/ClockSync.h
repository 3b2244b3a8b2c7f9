#pragma once
// Whether the system clock is synchronised, as the system reports it: systemd's timedated
// (`timedatectl show -p NTPSynchronized`, which systemd-timesyncd and chrony both feed), else
// chrony's own `chronyc tracking`. "yes", "no", or "unknown" when neither can tell.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tamblor::logger {

class ClockSync {
public:
    // Runs a program with arguments and returns its standard output, or nothing when it
    // cannot be run or fails (tests put their own in place).
    using Runner = std::function<std::optional<QString>(const QString& program, const QStringList& arguments)>;

    ClockSync();
    explicit ClockSync(Runner runner) : run_(std::move(runner)) {}
    QString state() const;

private:
    Runner run_;
};

} // namespace tamblor::logger
