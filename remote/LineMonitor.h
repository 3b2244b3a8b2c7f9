#pragma once
// The wiring test for the studio engineer (`tamblor --watch-lines PORT`): opens a port and
// prints every edge of its inputs with its time, line and level until told to stop, without a
// display. A port that cannot be used ends it with the port and the cause.
#include "remote/LinePort.h"
#include <QTextStream>
#include <functional>
#include <memory>

namespace tamblor::remote {

class LineMonitor {
public:
    using Maker = std::function<std::unique_ptr<LinePort>(const QString& device)>;
    static constexpr int PollMs = 10;

    // `make` makes the port for a device (the real kinds by default).
    explicit LineMonitor(Maker make = {});

    // Watches `device` until keepGoing() says no (asked every PollMs; it may sleep). Returns the
    // exit status: 0 when stopped, 1 when the port could not be used or went away (said on
    // `err`). Every line is flushed as it is printed.
    int run(const QString& device, QTextStream& out, QTextStream& err, const std::function<bool()>& keepGoing);

    // "22:31:05.123  DSR  asserted" and the like.
    static QString edgeLine(const LinePort& port, const RawEdge& edge, int64_t nowUs);

private:
    Maker make_;
};

} // namespace tamblor::remote
