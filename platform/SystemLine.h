// The system's own serial devices as serial lines (internal to platform/):
// terminal devices on POSIX, communications handles on Windows.
#pragma once

#include <memory>

#include "platform/SerialLine.h"
#include "platform/SerialPort.h"

namespace platform {

// Opens an existing serial device exclusively; null with *error set when
// it cannot be had.
std::unique_ptr<SerialLine> OpenSystemLine(const char* path, OpenError* error);

}  // namespace platform
