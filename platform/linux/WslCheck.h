// WSL 2 seen from inside: a Linux whose serial devices come over the network
// from Windows (usbipd-win) and whose kernel may lack the USB serial drivers.
// The decision is apart from the reading, so that each case can be tried.
#pragma once

#include <string>
#include <vector>

#include "platform/MachineCheck.h"

namespace platform {

struct WslFacts {
    std::string kernelRelease;        // /proc/sys/kernel/osrelease
    bool usbDevicesAttached = false;  // any USB device on the (virtual) bus
    bool serialDriver = false;        // a USB serial driver (usb-serial or cdc_acm)
    bool serialPorts = false;         // any serial port listed
};

WslFacts ReadWslFacts();

// Nothing off WSL 2; there, what keeps a device away and how to bring it.
std::vector<Finding> WslFindings(const WslFacts& facts);

}  // namespace platform
