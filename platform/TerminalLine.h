// The system's terminal devices as serial lines (internal to platform/).
#pragma once

#include <memory>

#include "platform/SerialLine.h"
#include "platform/SerialPort.h"

namespace platform {

// Opens an existing terminal device exclusively; null with *error set when
// it cannot be had.
std::unique_ptr<SerialLine> OpenTerminalLine(const char* path, OpenError* error);

}  // namespace platform
