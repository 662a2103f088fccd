#include "sim/DeviceLines.h"

#include <optional>
#include <string>

#include "platform/Conventions.h"
#include "platform/Environment.h"
#include "platform/PseudoTerminal.h"
#include "sim/LoopbackLine.h"

namespace sim {
namespace {

DeviceLineKind KindFromEnvironment() {
    const std::optional<std::string> chosen = platform::EnvironmentValue("BREVIK_SIM_LINE");
    if (chosen == "loopback")
        return DeviceLineKind::Loopback;
    if (chosen == "pty")
        return DeviceLineKind::PseudoTerminal;
    return platform::kHasPseudoTerminals ? DeviceLineKind::PseudoTerminal
                                         : DeviceLineKind::Loopback;
}

}  // namespace

std::unique_ptr<platform::DeviceLine> CreateDeviceLine(DeviceLineKind kind) {
    if (kind == DeviceLineKind::Default)
        kind = KindFromEnvironment();
    if (kind == DeviceLineKind::Loopback)
        return CreateLoopbackLine();
    return platform::PseudoTerminal::Create();
}

}  // namespace sim
