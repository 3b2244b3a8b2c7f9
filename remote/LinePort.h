#pragma once
// The seam in front of the hardware lines a studio wires to the recorder: inputs that a contact
// closes and opens, and outputs that the program sets. One interface, three kinds: a serial
// port's modem-status lines (SerialLines), a parallel port through ppdev (ParallelLines), and
// lines made in the program that a test sets in stepped time (VirtualLines), as the sound cards
// have their virtual kind.
//
// A port reports what its pins do, not what they mean: an input is "asserted" (a serial modem
// line set, a parallel status pin pulled to ground) or not, and every change is a RawEdge with
// the time of the port's own clock. The debouncing, the polarity and the meaning of each line
// are LineWatch's.
//
// Threads: a real port waits for its lines on a thread of its own and queues the edges; the
// owner takes them with takeEdges() from its own thread. Every other call is the owner's.
#include "remote/PortProblem.h"
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace tamblor::remote {

struct RawEdge {
    int64_t atUs = 0;       // on the port's clock (nowUs())
    int input = 0;          // index into inputs()
    bool asserted = false;  // the level after the edge
    // A closure seen only by its count (too short for the port to read its level, or a line
    // counted on its trailing edge only): a closure and an open at atUs.
    bool pulse = false;
};

class LinePort {
public:
    enum class Kind { Virtual, Serial, Parallel };
    enum class Status {
        Closed,  // not opened, or closed again
        Opening, // waiting for the port (a parallel port held by another program)
        Open,    // lines are read
        Failed,  // the port cannot be used or went away: problem() says why
    };

    virtual ~LinePort() = default;

    virtual Kind kind() const = 0;
    // The device as the operator named it ("/dev/ttyUSB0", "/dev/parport0", "virtual").
    virtual QString device() const = 0;
    // The inputs' and outputs' names: "DSR", "CTS", "DCD", "RI" / "pin 10" .. "pin 15".
    virtual QStringList inputs() const = 0;
    virtual QStringList outputs() const = 0;
    // An input that the port counts but whose level it cannot follow (a serial port's RI is
    // counted on its trailing edge): it only reports pulses.
    virtual bool pulseOnly(int input) const { return (void)input, false; }

    // Opens the port, sets every output to its rest state (not asserted) at once and starts
    // reading the lines. A failure leaves the port Failed with problem() set; a port that must
    // wait for another program is Opening until it gets the port.
    virtual void open() = 0;
    virtual void close() = 0;
    virtual Status status() const = 0;
    // Why the port is Failed, or why it waits (Opening for longer than ClaimPatienceMs).
    virtual std::optional<PortProblem> problem() const = 0;

    // The inputs' levels now, one bit per input (bit i for inputs()[i]).
    virtual uint32_t levels() const = 0;
    virtual void setOutput(int output, bool asserted) = 0;
    virtual bool output(int output) const = 0;

    // The edges since the last call, oldest first.
    virtual std::vector<RawEdge> takeEdges() = 0;
    // The port's clock, in microseconds.
    virtual int64_t nowUs() const = 0;

    // How long a port may wait for another program before the operator is told.
    static constexpr int ClaimPatienceMs = 2000;
};

const char* kindName(LinePort::Kind kind);

} // namespace tamblor::remote
