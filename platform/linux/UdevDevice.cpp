#include "platform/linux/UdevDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <sstream>
#include <vector>

namespace platform {
namespace {

// The links udev made to the device: its database's list, or the property
// that carries the same (where only the uevent is there).
std::vector<std::string> DeviceLinks(udev_device* device) {
    std::vector<std::string> links;
    udev_list_entry* link;
    udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(device)) {
        links.push_back(udev_list_entry_get_name(link));
    }
    if (const char* listed = udev_device_get_property_value(device, "DEVLINKS");
        listed != nullptr && links.empty()) {
        std::istringstream words(listed);
        for (std::string word; words >> word;)
            links.push_back(word);
    }
    return links;
}

// A USB device's name is its socket (bus, dash, hub ports joined by dots);
// its interfaces add a colon and the configuration.
bool IsUsbDeviceName(const std::string& name) {
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string::npos || name.find_first_not_of("0123456789") != dash ||
        dash + 1 == name.size())
        return false;
    // Numbers joined by single dots after the dash.
    bool digitBefore = false;
    for (size_t i = dash + 1; i < name.size(); ++i) {
        if (name[i] == '.' && digitBefore)
            digitBefore = false;
        else if (name[i] >= '0' && name[i] <= '9')
            digitBefore = true;
        else
            return false;
    }
    return digitBefore;
}

struct UsbAncestors {
    UdevDevicePtr device;     // the USB device the tty belongs to
    UdevDevicePtr interface;  // its interface that the tty's driver serves
};

// The USB device above a tty, taken straight from the tty's path (sysfs
// nests each device in its parent's folder), so that libudev looks up that
// one device instead of every folder between; the device is checked to be
// what its name says. Empty when the tty is not on USB.
UsbAncestors UsbAncestorsOf(udev_device* tty) {
    UsbAncestors found;
    const char* syspath = udev_device_get_syspath(tty);
    const std::string path = syspath != nullptr ? syspath : "";
    for (size_t end = path.rfind('/'); end != std::string::npos && end > 0;
         end = path.rfind('/', end - 1)) {
        const size_t start = path.rfind('/', end - 1);
        if (start == std::string::npos || !IsUsbDeviceName(path.substr(start + 1, end - start - 1)))
            continue;
        udev* context = udev_device_get_udev(tty);
        found.device.reset(udev_device_new_from_syspath(context, path.substr(0, end).c_str()));
        const char* subsystem =
            found.device ? udev_device_get_subsystem(found.device.get()) : nullptr;
        const char* type = found.device ? udev_device_get_devtype(found.device.get()) : nullptr;
        if (subsystem == nullptr || type == nullptr || std::strcmp(subsystem, "usb") != 0 ||
            std::strcmp(type, "usb_device") != 0)
            return {};
        const size_t next = path.find('/', end + 1);
        found.interface.reset(udev_device_new_from_syspath(context, path.substr(0, next).c_str()));
        return found;
    }
    return {};
}

// The driver bound to the device: its link, or what its uevent says.
std::string DriverOf(udev_device* device) {
    if (device == nullptr)
        return "";
    const char* driver = udev_device_get_driver(device);
    if (driver == nullptr)
        driver = udev_device_get_property_value(device, "DRIVER");
    return driver != nullptr ? driver : "";
}

}  // namespace

UdevDevicePtr TtyDeviceOf(udev* context, const std::string& path) {
    struct stat node {};
    if (context == nullptr || ::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return nullptr;
    return UdevDevicePtr{udev_device_new_from_devnum(context, 'c', node.st_rdev)};
}

bool IsPseudoTerminal(const std::string& path) {
    // The pseudo-terminal slaves' majors; they have no sysfs entry.
    constexpr unsigned kFirstMajor = 136, kMajors = 8;
    struct stat node {};
    return ::stat(path.c_str(), &node) == 0 && S_ISCHR(node.st_mode) &&
           major(node.st_rdev) - kFirstMajor < kMajors;
}

std::string Attribute(udev_device* device, const char* name) {
    const char* value = device != nullptr ? udev_device_get_sysattr_value(device, name) : nullptr;
    std::string text = value != nullptr ? value : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

PortFacts FactsOfTty(udev_device* tty) {
    PortFacts facts;
    for (const std::string& name : DeviceLinks(tty)) {
        // The names made for serial ports; by-id first, as it follows the device.
        if (name.rfind("/dev/serial/by-id/", 0) == 0)
            facts.stableNames.insert(facts.stableNames.begin(), name);
        else if (name.rfind("/dev/serial/by-path/", 0) == 0)
            facts.stableNames.push_back(name);
    }
    const char* name = udev_device_get_sysname(tty);
    const bool bluetooth = name != nullptr && std::string(name).rfind("rfcomm", 0) == 0;
    UsbAncestors usb = bluetooth ? UsbAncestors{} : UsbAncestorsOf(tty);
    if (!usb.device && !bluetooth)
        usb.device.reset(udev_device_ref(
            udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")));
    // The driver is the bridge's (the tty itself has none): its USB
    // interface's, else the nearest parent's that has one.
    facts.driver = DriverOf(usb.interface.get());
    for (udev_device* at = facts.driver.empty() ? udev_device_get_parent(tty) : nullptr;
         at != nullptr && facts.driver.empty(); at = udev_device_get_parent(at))
        facts.driver = DriverOf(at);
    if (bluetooth) {
        facts.kind = "Bluetooth";
        return facts;
    }
    if (!usb.device) {
        facts.kind = udev_device_get_parent(tty) != nullptr ? "serial" : "";
        return facts;
    }
    udev_device* device = usb.device.get();
    facts.kind = "USB";
    facts.usbId = Attribute(device, "idVendor") + ":" + Attribute(device, "idProduct");
    facts.serialNumber = Attribute(device, "serial");
    facts.product = Attribute(device, "product");
    facts.manufacturer = Attribute(device, "manufacturer");
    // The USB device's name is its socket: bus, then the hub ports to it.
    facts.usbPath = udev_device_get_sysname(device);
    return facts;
}

}  // namespace platform
