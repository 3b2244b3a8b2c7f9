#include "remote/LineMap.h"

namespace tamblor::remote {

const char* name(InputFunction function)
{
    switch (function) {
    case InputFunction::Record: return "Record";
    case InputFunction::Stop: return "Stop";
    case InputFunction::Play: return "Play";
    }
    return "?";
}

const char* name(OutputFunction function)
{
    switch (function) {
    case OutputFunction::Tally: return "Tally";
    case OutputFunction::Eom: return "Eom";
    case OutputFunction::Alarm: return "Alarm";
    case OutputFunction::Power: return "Power";
    }
    return "?";
}

const char* kindName(LinePort::Kind kind)
{
    switch (kind) {
    case LinePort::Kind::Virtual: return "virtual";
    case LinePort::Kind::Serial: return "serial";
    case LinePort::Kind::Parallel: return "parallel";
    }
    return "?";
}

QStringList LineMap::inputNames(LinePort::Kind kind)
{
    switch (kind) {
    case LinePort::Kind::Serial: return {"DSR", "CTS", "DCD", "RI"};
    case LinePort::Kind::Parallel: return {"pin 10", "pin 11", "pin 12", "pin 13", "pin 15"};
    case LinePort::Kind::Virtual: return {"IN0", "IN1", "IN2", "IN3", "IN4"};
    }
    return {};
}

QStringList LineMap::outputNames(LinePort::Kind kind)
{
    switch (kind) {
    case LinePort::Kind::Serial: return {"DTR", "RTS"};
    case LinePort::Kind::Parallel: return {"pin 2", "pin 3", "pin 4", "pin 5", "pin 6", "pin 7", "pin 8", "pin 9"};
    case LinePort::Kind::Virtual: return {"OUT0", "OUT1", "OUT2", "OUT3"};
    }
    return {};
}

QString LineMap::defaultPort(LinePort::Kind kind)
{
    switch (kind) {
    case LinePort::Kind::Serial: return QStringLiteral("/dev/ttyUSB0");
    case LinePort::Kind::Parallel: return QStringLiteral("/dev/parport0");
    case LinePort::Kind::Virtual: return QStringLiteral("virtual");
    }
    return {};
}

LineMap LineMap::defaults(LinePort::Kind kind)
{
    LineMap m;
    m.kind = kind;
    m.port = defaultPort(kind);
    switch (kind) {
    case LinePort::Kind::Serial:
        m.input(InputFunction::Record).line = 0; // DSR
        m.input(InputFunction::Stop).line = 1;   // CTS
        m.input(InputFunction::Play).line = 2;   // DCD
        m.output(OutputFunction::Power) = 0;     // DTR
        m.output(OutputFunction::Tally) = 1;     // RTS
        break;
    case LinePort::Kind::Parallel:
    case LinePort::Kind::Virtual:
        m.input(InputFunction::Record).line = 2; // pin 12
        m.input(InputFunction::Stop).line = 3;   // pin 13
        m.input(InputFunction::Play).line = 0;   // pin 10
        m.output(OutputFunction::Tally) = 0;     // pin 2
        m.output(OutputFunction::Eom) = 1;       // pin 3
        m.output(OutputFunction::Alarm) = 2;     // pin 4
        if (kind == LinePort::Kind::Virtual)
            m.output(OutputFunction::Power) = 3;
        break;
    }
    return m;
}

} // namespace tamblor::remote
