// The timer is the latency_timer attribute of the port's USB-serial device:
// SYSFS/class/tty/NAME/device/latency_timer, in ms (1 to 255).
#include "platform/BridgeLatency.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/Environment.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr int kLowestTimerMs = 1;

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

}  // namespace

std::string SysfsRoot() {
    const std::optional<std::string> root = EnvironmentValue("BREVIK_SYSFS");
    return root && !root->empty() ? *root : "/sys";
}

LowLatencyHold::LowLatencyHold(const std::string& portPath) {
    std::error_code ec;
    const fs::path device = fs::canonical(portPath, ec);
    if (ec)
        return;
    const fs::path attribute =
        fs::path(SysfsRoot()) / "class/tty" / device.filename() / "device/latency_timer";
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
