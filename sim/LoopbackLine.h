// A serial line in memory: the device end serves a virtual device, the host
// end opens through SerialPort::Open under the line's name ("@loopback1"),
// whose source the first line made registers,
// exclusively, with the same time-out semantics as a system port. The line
// rate the host sets is what the device end reads back; pacing is the
// device's own business, as on a pseudo-terminal.
#pragma once

#include <memory>
#include <string>

#include "platform/DeviceLine.h"

namespace sim {

// The prefix every loopback line's name starts with.
constexpr char kLoopbackPrefix[] = "@loopback";

std::unique_ptr<platform::DeviceLine> CreateLoopbackLine();

bool IsLoopbackName(const char* name);

// Opening the host end of the named line takes connectMs and, when absent,
// then fails (OpenError::NoLink). False for a name that is no line.
bool ModelLoopbackConnect(const std::string& name, int connectMs, bool absent);

}  // namespace sim
