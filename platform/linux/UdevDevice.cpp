#include "platform/linux/UdevDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {

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

}  // namespace platform
