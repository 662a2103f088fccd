#include "app/flash/PortHolders.h"

namespace flash {

std::string HolderNames(const std::vector<platform::PortHolder>& holders) {
    std::string names;
    for (const platform::PortHolder& h : holders)
        names += (names.empty() ? "" : ", ") + h.name + " (pid " + std::to_string(h.pid) + ")";
    return names;
}

std::string PortSharedWhy(const std::string& path) {
    const std::string others =
        path.empty() ? "" : HolderNames(platform::ProcessesHoldingDevice(path));
    if (others.empty())
        return "";
    return "is also open in " + others +
           ", which may take the device's replies or send bytes of its own; close it, or give "
           "--force to go on; nothing was sent";
}

}  // namespace flash
