// What the tool tells a user who may not open a serial port.
#pragma once

#include <string>

// Advice for a port whose device node belongs to group. Joining the group
// helps only where it is one made for serial ports (dialout, uucp, tty,
// plugdev): joining 'root' or a group of other devices would hand out far
// more than the port, so then the udev rule is the way.
std::string PermissionAdvice(const std::string& group);
