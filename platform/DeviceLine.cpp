#include "platform/DeviceLine.h"

#include <cstdlib>
#include <cstring>

#include "platform/LoopbackLine.h"
#include "platform/PseudoTerminal.h"

namespace platform {
namespace {

DeviceLineKind KindFromEnvironment() {
    if (const char* chosen = std::getenv("BREVIK_SIM_LINE")) {
        if (std::strcmp(chosen, "loopback") == 0)
            return DeviceLineKind::Loopback;
        if (std::strcmp(chosen, "pty") == 0)
            return DeviceLineKind::PseudoTerminal;
    }
#ifdef _WIN32
    return DeviceLineKind::Loopback;
#else
    return DeviceLineKind::PseudoTerminal;
#endif
}

}  // namespace

std::unique_ptr<DeviceLine> CreateDeviceLine(DeviceLineKind kind) {
    if (kind == DeviceLineKind::Default)
        kind = KindFromEnvironment();
    if (kind == DeviceLineKind::Loopback)
        return CreateLoopbackLine();
    return PseudoTerminal::Create();
}

}  // namespace platform
