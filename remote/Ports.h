#pragma once
// The real ports the program can read lines from: which kind a device is, the port object for
// a map, and the names to offer the operator (the stable names under /dev/serial/by-id/ first:
// a USB adapter keeps them whichever socket it is plugged into).
#include "remote/LineMap.h"
#include <memory>

namespace tamblor::remote {

// "/dev/parport0" is a parallel port, "virtual" the virtual lines, anything else a serial port.
LinePort::Kind kindOfDevice(const QString& device);
// A SerialLines or ParallelLines for the map's port (not opened yet); nullptr for a virtual map.
std::unique_ptr<LinePort> makeDevicePort(const LineMap& map);
// The ports of a kind present on this machine, the stable names first.
QStringList suggestedPorts(LinePort::Kind kind);

} // namespace tamblor::remote
