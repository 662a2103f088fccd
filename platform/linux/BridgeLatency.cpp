// The timer is the latency_timer attribute of the port's USB-serial device,
// in ms (1 to 255): SYSFS/class/tty/NAME/device/latency_timer on the kernel's
// tree. The tty is found by its name and by its device number (a link such
// as /dev/serial/by-id/... or a node of another name leads there too), and
// the attribute in the tty's device or one of its parents, as trees built by
// device mocking tools have no "device" link.
#include "platform/BridgeLatency.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/Environment.h"
#include "platform/linux/FollowLinks.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr int kLowestTimerMs = 1;
// The USB-serial port sits right above its tty (…/ttyUSB0/tty/ttyUSB0).
constexpr int kParentsLookedAt = 3;

std::optional<int> ReadTimer(const fs::path& attribute) {
    std::ifstream in(attribute);
    int ms = 0;
    if (in >> ms && ms >= 1 && ms <= 255)
        return ms;
    return std::nullopt;
}

bool WriteTimer(const fs::path& attribute, int ms) {
    std::error_code ec;
    if (!fs::is_regular_file(attribute, ec))
        return false;
    std::ofstream out(attribute, std::ios::out | std::ios::trunc);
    out << ms << "\n";
    out.flush();
    return out.good() && ReadTimer(attribute) == ms;
}

// The tty's folder in the device tree, by name, else by device number.
std::optional<fs::path> TtyFolder(const std::string& portPath) {
    std::error_code ec;
    const fs::path device = FollowLinks(portPath);
    if (device.empty() || !fs::exists(device, ec))
        return std::nullopt;
    const fs::path root = SysfsRoot();
    const fs::path byName = root / "class/tty" / device.filename();
    if (fs::exists(byName, ec))
        return byName;
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return std::nullopt;
    const fs::path byNumber =
        root / "dev/char" /
        (std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev)));
    if (fs::exists(byNumber, ec))
        return byNumber;
    return std::nullopt;
}

std::optional<fs::path> TimerAttribute(const std::string& portPath) {
    const std::optional<fs::path> tty = TtyFolder(portPath);
    if (!tty)
        return std::nullopt;
    std::error_code ec;
    if (fs::exists(*tty / "device/latency_timer", ec))
        return *tty / "device/latency_timer";
    fs::path folder = FollowLinks(*tty);
    for (int up = 0; !folder.empty() && up < kParentsLookedAt && folder.has_parent_path(); ++up) {
        folder = folder.parent_path();
        if (fs::exists(folder / "latency_timer", ec))
            return folder / "latency_timer";
    }
    return std::nullopt;
}

}  // namespace

std::string SysfsRoot() {
    const std::optional<std::string> root = EnvironmentValue("BREVIK_SYSFS");
    return root && !root->empty() ? *root : "/sys";
}

LowLatencyHold::LowLatencyHold(const std::string& portPath) {
    const std::optional<fs::path> found = TimerAttribute(portPath);
    if (!found)
        return;
    const fs::path& attribute = *found;
    const std::optional<int> ms = ReadTimer(attribute);
    if (!ms)
        return;
    timerMs_ = *ms;
    if (timerMs_ <= kLowestTimerMs)
        return;
    if (WriteTimer(attribute, kLowestTimerMs)) {
        attribute_ = attribute.string();
        lowered_ = true;
        return;
    }
    advice_ = "the USB bridge of " + portPath + " holds each reply up to " +
              std::to_string(timerMs_) +
              " ms (its latency timer) and may not be changed by this user: install the "
              "package's udev rule (it sets 1 ms when the bridge is plugged in), or run 'echo 1 "
              "| sudo tee " +
              attribute.string() + "'";
}

LowLatencyHold::~LowLatencyHold() {
    if (lowered_)
        WriteTimer(attribute_, timerMs_);
}

}  // namespace platform
