// A serial line in memory: the device end serves a virtual device, the host
// end opens through SerialPort::Open under the line's name ("@loopback1"),
// exclusively, with the same time-out semantics as a system port. The line
// rate the host sets is what the device end reads back; pacing is the
// device's own business, as on a pseudo-terminal.
#pragma once

#include <memory>

#include "platform/DeviceLine.h"
#include "platform/SerialLine.h"
#include "platform/SerialPort.h"

namespace platform {

// The prefix every loopback line's name starts with.
constexpr char kLoopbackPrefix[] = "@loopback";

std::unique_ptr<DeviceLine> CreateLoopbackLine();

// The host end of the loopback line of that name; null with *error set
// (NotFound: no such line or it hung up; Busy: the host end is open).
std::unique_ptr<SerialLine> OpenLoopbackLine(const char* name, OpenError* error);

bool IsLoopbackName(const char* name);

}  // namespace platform
