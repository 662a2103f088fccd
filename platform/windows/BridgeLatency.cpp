// Windows keeps a bridge's timer in the driver's registry parameters, which
// only the user changes (Device Manager); nothing is lowered here.
#include "platform/BridgeLatency.h"

namespace platform {

std::string SysfsRoot() {
    return "";
}

LowLatencyHold::LowLatencyHold(const std::string&) {}

LowLatencyHold::~LowLatencyHold() = default;

}  // namespace platform
