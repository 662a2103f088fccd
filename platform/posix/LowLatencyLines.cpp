#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>

#include "platform/posix/DriverLowLatency.h"

namespace platform {

std::string DeviceNumberOfDescriptor(int fd) {
    struct stat node {};
    if (::fstat(fd, &node) != 0 || !S_ISCHR(node.st_mode))
        return "";
    return DeviceNumberText(node.st_rdev);
}

std::string DeviceNumberText(unsigned long long number) {
    return std::to_string(major(number)) + ":" + std::to_string(minor(number));
}

LowLatencyLines& LowLatencyLines::OfThisProcess() {
    // Never destroyed: a line of a global object closes after the statics
    // made after it are gone.
    static LowLatencyLines* const lines = new LowLatencyLines(SystemDriverMode());
    return *lines;
}

void LowLatencyLines::Enter(Line& line) {
    if (!line.entered)
        line.entered = mode_.Enter(line.fd);
}

void LowLatencyLines::Leave(Line& line) {
    if (line.entered)
        mode_.Leave(line.fd);
    line.entered = false;
}

void LowLatencyLines::Opened(int fd, const std::string& device) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Line& line = lines_.emplace_back(Line{fd, device, false});
    if (!device.empty() && holds_.count(device) != 0)
        Enter(line);
}

void LowLatencyLines::Closing(int fd) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (Line& line : lines_)
        if (line.fd == fd)
            Leave(line);
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(),
                                [fd](const Line& line) { return line.fd == fd; }),
                 lines_.end());
}

void LowLatencyLines::Hold(const std::string& device) {
    if (device.empty())
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (holds_[device]++ > 0)
        return;
    for (Line& line : lines_)
        if (line.device == device)
            Enter(line);
}

void LowLatencyLines::Release(const std::string& device) {
    if (device.empty())
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto held = holds_.find(device);
    if (held == holds_.end() || --held->second > 0)
        return;
    holds_.erase(held);
    for (Line& line : lines_)
        if (line.device == device)
            Leave(line);
}

}  // namespace platform
