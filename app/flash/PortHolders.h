// Other programs that hold a device's port: a second reader takes the
// device's replies and a second writer puts bytes into a transfer, so a
// change to the device waits for them unless the user says to go on.
#pragma once

#include <string>
#include <vector>

#include "platform/PortAccess.h"

namespace flash {

// "NAME (pid N), NAME (pid N)": the holders of a port, for people.
std::string HolderNames(const std::vector<platform::PortHolder>& holders);

// Why a change to the device on path is stopped, beginning "is also open in";
// "" when nobody else holds the port (the device's own end of a
// pseudo-terminal is no other program).
std::string PortSharedWhy(const std::string& path);

}  // namespace flash
