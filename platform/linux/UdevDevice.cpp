#include "platform/linux/UdevDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

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
    // The driver is the bridge's (the tty itself has none): its link, or
    // what its uevent says.
    for (udev_device* at = udev_device_get_parent(tty); at != nullptr && facts.driver.empty();
         at = udev_device_get_parent(at)) {
        const char* driver = udev_device_get_driver(at);
        if (driver == nullptr)
            driver = udev_device_get_property_value(at, "DRIVER");
        if (driver != nullptr)
            facts.driver = driver;
    }
    const char* name = udev_device_get_sysname(tty);
    if (name != nullptr && std::string(name).rfind("rfcomm", 0) == 0) {
        facts.kind = "Bluetooth";
        return facts;
    }
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb == nullptr) {
        facts.kind = udev_device_get_parent(tty) != nullptr ? "serial" : "";
        return facts;
    }
    facts.kind = "USB";
    facts.usbId = Attribute(usb, "idVendor") + ":" + Attribute(usb, "idProduct");
    facts.serialNumber = Attribute(usb, "serial");
    facts.product = Attribute(usb, "product");
    facts.manufacturer = Attribute(usb, "manufacturer");
    // The USB device's name is its socket: bus, then the hub ports to it.
    facts.usbPath = udev_device_get_sysname(usb);
    return facts;
}

}  // namespace platform
