#include "app/cli/PortAdvice.h"

std::string PermissionAdvice(const std::string& group) {
    for (const char* serial : {"dialout", "uucp", "tty", "plugdev"}) {
        if (group == serial)
            return "The port belongs to the group '" + group +
                   "': join it with 'sudo usermod -aG " + group +
                   " $USER' and log in again (the package's udev rule gives the logged-in user "
                   "access without it)";
    }
    const std::string owner = group.empty() ? std::string("no group") : "the group '" + group + "'";
    return "The port belongs to " + owner +
           ", not one made for serial ports, so joining it is no answer: install the package's "
           "udev rule, which gives the logged-in user access to the device's bridge";
}
