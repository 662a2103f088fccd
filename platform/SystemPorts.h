// What the port table asks of the system (internal to platform/).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/PortTable.h"

namespace platform {

// How long a scan of the system's ports stands for the system: a scan over
// all 255 COM names lists the system once, not 255 times.
constexpr auto kSystemScanLifetime = std::chrono::seconds(1);

// Drops what the last scan learnt of each port (a port came or went).
void ForgetScannedPorts();

// The system's ports with their own numbers and names; empty optional where
// the system has no numbering of its own (POSIX: the table is the list).
std::optional<std::vector<PortEntry>> ListSystemPorts();

// The device of the system's own COMn; empty optional where the system has
// no such names (POSIX: the table decides).
std::optional<std::string> SystemPortPath(int number);

}  // namespace platform
