// What the system can tell about why a port cannot be had: the group that
// owns its device node, the program that holds it open, and what to do
// about it.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The group owning the device node ("dialout"), or "" when unknown.
std::string GroupOwningDevice(const std::string& path);

// A process that has a device open: the name it gives itself (set by that
// process: outside text) and its process id.
struct PortHolder {
    std::string name;
    int pid = 0;
};

// Every other process that has the device open, as far as we may see
// (another user's processes usually are not visible; on Windows, where a
// port is opened exclusively, none is listed). The device side of a
// pseudo-terminal, a process with its master open, is the device and not
// listed.
std::vector<PortHolder> ProcessesHoldingDevice(const std::string& path);

// What a user who may not open the port at path can do about it, the way
// this system grants access to serial ports.
std::string PermissionAdvice(const std::string& path);

// A usual reason for silence on the port at path that the system can see
// (Linux: ModemManager probing a modem-class device), as advice; "" for none.
std::string SilentPortAdvice(const std::string& path);

// What the system knows of a serial device (Linux: its device database);
// empty fields where it knows nothing (a pseudo-terminal, a missing
// device). Strings the device gives (serial number, names) are outside text.
struct PortFacts {
    std::string kind;   // "USB", "Bluetooth", "serial", "pseudo-terminal" or ""
    std::string usbId;  // vendor:product, "0403:6001"
    std::string serialNumber;
    std::string product;  // the device's own name for itself
    std::string manufacturer;
    std::string driver;   // "ftdi_sio", "cdc_acm", ...
    std::string usbPath;  // the USB socket: bus, then hub ports ("1-1.2")
    // Names that stay with the device across replugs and reboots, the one
    // that follows the device first (/dev/serial/by-id/...).
    std::vector<std::string> stableNames;
};
PortFacts DescribePort(const std::string& path);

}  // namespace platform
