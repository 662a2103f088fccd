// What the port table asks of the system (internal to platform/).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/PortTable.h"

namespace platform {

// The system's ports with their own numbers and names; empty optional where
// the system has no numbering of its own (POSIX: the table is the list).
std::optional<std::vector<PortEntry>> ListSystemPorts();

// The device of the system's own COMn; empty optional where the system has
// no such names (POSIX: the table decides).
std::optional<std::string> SystemPortPath(int number);

}  // namespace platform
