// libudev's view of a serial device: the system's own device database
// (sysfs and what udev recorded for it: stable links, ids). Owning handles,
// so that no path through the callers leaks a reference.
#pragma once

#include <libudev.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/PortAccess.h"

namespace platform {

struct UdevRelease {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
using UdevContext = std::unique_ptr<udev, UdevRelease>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevRelease>;
using UdevEnumeration = std::unique_ptr<udev_enumerate, UdevRelease>;

// The tty device of the node at path, by its device number (any name or
// link leads there). Null when the system knows no such tty (a
// pseudo-terminal, a missing path).
UdevDevicePtr TtyDeviceOf(udev* context, const std::string& path);

bool IsPseudoTerminal(const std::string& path);

// A text attribute of the device, or "".
std::string Attribute(udev_device* device, const char* name);

// What the device database says of a tty device and its parents.
PortFacts FactsOfTty(udev_device* tty);

// The facts of the device at path (any name or link that leads to it) as
// the system scan of the port table found them, while that scan is the
// table's; empty for a device it did not see.
std::optional<PortFacts> ScannedFactsOf(const std::string& path);

}  // namespace platform
