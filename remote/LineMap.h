#pragma once
// What each line of a port does: the inputs that start and stop a take and start the player
// (each with its polarity and debounce), and the outputs the program sets. Kept in Tamblor.ini
// per kind of port (ProgramSettings reads and writes it); a line is named as the port names it
// ("DSR", "pin 12"), and a function without a line is not wired.
#include "remote/LinePort.h"
#include <array>

namespace tamblor::remote {

enum class InputFunction {
    Record, // the start input (parallel pin 12): Momentary starts, Continuous records while closed
    Stop,   // the stop input (parallel pin 13): Momentary stops
    Play,   // fader start: a closure plays the selected slot from the start, an open stops it
};
enum class OutputFunction {
    Tally, // held while a take is written
    Eom,   // a pulse at the end of a played file
    Alarm, // held while the silence alarm is raised
    Power, // held while the port is open: the supply of the contacts
};
constexpr int InputFunctions = 3;
constexpr int OutputFunctions = 4;
const char* name(InputFunction function);
const char* name(OutputFunction function);

struct InputWiring {
    int line = -1;          // index into the port's inputs(); -1 not wired
    bool inverted = false;  // closed when the line is not asserted
    int debounceMs = 20;    // a change counts once it has lasted this long

    static constexpr int DefaultDebounceMs = 20;
    static constexpr int LongestDebounceMs = 1000;
    bool operator==(const InputWiring&) const = default;
};

struct LineMap {
    LinePort::Kind kind = LinePort::Kind::Serial;
    QString port; // the device ("/dev/serial/by-id/usb-FTDI_..-if00-port0", "/dev/parport0")
    std::array<InputWiring, InputFunctions> inputs;
    std::array<int, OutputFunctions> outputs{-1, -1, -1, -1}; // index into outputs(); -1 none

    InputWiring& input(InputFunction f) { return inputs[size_t(f)]; }
    const InputWiring& input(InputFunction f) const { return inputs[size_t(f)]; }
    int& output(OutputFunction f) { return outputs[size_t(f)]; }
    int output(OutputFunction f) const { return outputs[size_t(f)]; }

    // The wiring the captions promise: on the parallel port pin 12 starts, pin 13 stops, pin 10
    // plays; pins 2, 3 and 4 are tally, end of message and alarm. On a serial port DSR starts,
    // CTS stops, DCD plays; DTR powers the contacts and RTS is the tally.
    static LineMap defaults(LinePort::Kind kind);
    // The names of the lines of each kind of port.
    static QStringList inputNames(LinePort::Kind kind);
    static QStringList outputNames(LinePort::Kind kind);
    // The default device of a kind ("/dev/ttyUSB0", "/dev/parport0", "virtual").
    static QString defaultPort(LinePort::Kind kind);

    bool operator==(const LineMap&) const = default;
};

} // namespace tamblor::remote
