// Linux grants a serial port through the group owning its device node or
// through a udev rule; what to tell a user, given that group.
#pragma once

#include <string>

namespace platform {

// Joining the group helps only where it is one made for serial ports
// (dialout, uucp, tty, plugdev): joining 'root' or a group of other devices
// would hand out far more than the port, so then the udev rule is the way.
std::string PermissionAdviceForGroup(const std::string& group);

}  // namespace platform
