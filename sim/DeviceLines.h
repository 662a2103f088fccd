// The lines a virtual device serves on: a pseudo-terminal where the system
// has them, or a loopback line in memory (every system; the only one on
// Windows), chosen by BREVIK_SIM_LINE ("pty" or "loopback") when set.
#pragma once

#include <memory>

#include "platform/DeviceLine.h"

namespace sim {

enum class DeviceLineKind {
    // BREVIK_SIM_LINE when set, else the system's usual.
    Default,
    PseudoTerminal,
    Loopback,
};

// Null when the kind cannot be made here (no pseudo-terminals on Windows).
std::unique_ptr<platform::DeviceLine> CreateDeviceLine(
    DeviceLineKind kind = DeviceLineKind::Default);

}  // namespace sim
