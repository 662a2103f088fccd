// The timer is the latency_timer attribute of the port's USB-serial device,
// in ms (1 to 255): SYSFS/class/tty/NAME/device/latency_timer on the kernel's
// tree. The tty is found by its device number (a link such as
// /dev/serial/by-id/... or a node of another name leads there too), and
// the attribute in the tty's device or one of its parents, as trees built by
// device mocking tools have no "device" link.
#include "platform/BridgeLatency.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/Environment.h"
#include "platform/linux/FollowLinks.h"
#include "platform/posix/DriverLowLatency.h"

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

// The tty's folder in the device tree: by the node's device number, which
// is what the node is whatever its name (a container may give bridge
// 188:1 the name ttyUSB0); by name only where that folder has the node's
// number, or the path is no device node.
std::optional<fs::path> TtyFolder(const std::string& portPath) {
    std::error_code ec;
    const fs::path device = FollowLinks(portPath);
    if (device.empty() || !fs::exists(device, ec))
        return std::nullopt;
    const fs::path root = SysfsRoot();
    const std::string number = CharacterDeviceNumber(device.string());
    const bool isNode = !number.empty();
    if (isNode) {
        const fs::path byNumber = root / "dev/char" / number;
        if (fs::exists(byNumber, ec))
            return byNumber;
    }
    const fs::path byName = root / "class/tty" / device.filename();
    if (!fs::exists(byName, ec))
        return std::nullopt;
    if (!isNode)
        return byName;
    std::ifstream dev(byName / "dev");
    std::string named;
    if (dev >> named && named == number)
        return byName;
    return std::nullopt;
}

// The attribute file as it is now (0 when it cannot be read): its inode and
// its change time, so that a file made anew under the same name (a device
// plugged in again; on a disk tree the inode number may come back) or
// written since by someone else is not taken for the one this process wrote.
uint64_t IdentityOf(const fs::path& attribute) {
    struct stat file {};
    if (::stat(attribute.c_str(), &file) != 0)
        return 0;
    const uint64_t changed = static_cast<uint64_t>(file.st_ctim.tv_sec) * 1000000000u +
                             static_cast<uint64_t>(file.st_ctim.tv_nsec);
    return (static_cast<uint64_t>(file.st_ino) * 0x9E3779B97F4A7C15u) ^ changed;
}

// Whether this process may write the attribute, found without writing it.
bool MayWrite(const fs::path& attribute) {
    const int fd = ::open(attribute.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::string LoweringAdvice(const std::string& portPath, int timerMs, const fs::path& attribute) {
    return "the USB bridge of " + portPath + " holds each reply up to " + std::to_string(timerMs) +
           " ms (its latency timer) and may not be changed by this user: install the "
           "package's udev rule (it sets 1 ms when the bridge is plugged in), or run 'echo 1 "
           "| sudo tee " +
           attribute.string() + "'";
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

std::string CharacterDeviceNumber(const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return "";
    return DeviceNumberText(node.st_rdev);
}

std::string SysfsRoot() {
    const std::optional<std::string> root = EnvironmentValue("BREVIK_SYSFS");
    return root && !root->empty() ? *root : "/sys";
}

BridgeTimer InspectBridgeTimer(const std::string& portPath) {
    BridgeTimer timer;
    const std::optional<fs::path> attribute = TimerAttribute(portPath);
    if (!attribute)
        return timer;
    timer.timerMs = ReadTimer(*attribute).value_or(0);
    if (timer.timerMs > kLowestTimerMs && !MayWrite(*attribute))
        timer.advice = LoweringAdvice(portPath, timer.timerMs, *attribute);
    return timer;
}

LowLatencyHold::LowLatencyHold(const std::string& portPath)
    : device_(CharacterDeviceNumber(portPath)) {
    LowLatencyLines::OfThisProcess().Hold(device_);
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
        writtenIdentity_ = IdentityOf(attribute);
        lowered_ = true;
        return;
    }
    advice_ = LoweringAdvice(portPath, timerMs_, attribute);
}

LowLatencyHold::~LowLatencyHold() {
    // Put back only what this hold wrote, on the device it wrote it to: a
    // bridge replugged meanwhile (a new attribute) or a timer someone else
    // set since keeps its value.
    if (lowered_ && writtenIdentity_ != 0 && IdentityOf(attribute_) == writtenIdentity_ &&
        ReadTimer(attribute_) == kLowestTimerMs)
        WriteTimer(attribute_, timerMs_);
    LowLatencyLines::OfThisProcess().Release(device_);
}

}  // namespace platform
