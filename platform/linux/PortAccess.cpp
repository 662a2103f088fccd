#include "platform/PortAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/LineSource.h"
#include "platform/linux/GroupAdvice.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool ModemManagerRunning() {
    std::error_code ec;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        std::error_code commError;
        if (fs::exists(process.path() / "comm", commError) &&
            FirstLine(process.path() / "comm") == "ModemManager")
            return true;
    }
    return false;
}

// True for a USB modem-class (CDC-ACM) serial device, which ModemManager
// probes unless told to leave it alone.
bool IsModemClassDevice(const std::string& path) {
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    return !ec && device.filename().string().rfind("ttyACM", 0) == 0;
}

}  // namespace

std::string GroupOwningDevice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "";
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr)
        return "";
    return found->gr_name;
}

std::vector<PortHolder> ProcessesHoldingDevice(const std::string& path) {
    std::vector<PortHolder> holders;
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    if (ec)
        return holders;
    const std::string self = std::to_string(::getpid());
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.size() > 9 ||
            pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        std::error_code fdError;
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == target && !linkError) {
                holders.push_back({FirstLine(process.path() / "comm"), std::stoi(pid)});
                break;
            }
        }
    }
    return holders;
}

PortFacts DescribePort(const std::string& path, const std::string& sysfs) {
    PortFacts facts;
    if (const LineSource* source = LineSourceFor(path.c_str())) {
        facts.kind = source->Kind();
        return facts;
    }
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec)
        return facts;
    const std::string name = device.filename().string();
    if (device.parent_path() == "/dev/pts") {
        facts.kind = "pseudo-terminal";
        return facts;
    }
    const fs::path tty = fs::path(sysfs) / "class/tty" / name / "device";
    const fs::path driver = fs::read_symlink(tty / "driver", ec);
    if (!ec)
        facts.driver = driver.filename().string();
    if (name.rfind("rfcomm", 0) == 0) {
        facts.kind = "Bluetooth";
        return facts;
    }
    // The USB device is the first ancestor of the interface that has ids.
    for (fs::path at = fs::canonical(tty, ec); !ec && at.has_relative_path();
         at = at.parent_path()) {
        if (fs::exists(at / "idVendor", ec)) {
            facts.kind = "USB";
            facts.usbId = FirstLine(at / "idVendor") + ":" + FirstLine(at / "idProduct");
            facts.serialNumber = FirstLine(at / "serial");
            facts.product = FirstLine(at / "product");
            facts.manufacturer = FirstLine(at / "manufacturer");
            return facts;
        }
        if (at == fs::path(sysfs) / "devices")
            break;
    }
    if (fs::exists(tty, ec))
        facts.kind = "serial";
    return facts;
}

std::string PermissionAdviceForGroup(const std::string& group) {
    for (const char* serial : {"dialout", "uucp", "tty", "plugdev"}) {
        if (group == serial)
            return "The port belongs to the group '" + group +
                   "': join it with 'sudo usermod -aG " + group +
                   " $USER' and log in again (the package's udev rule gives the logged-in user "
                   "access without it)";
    }
    const std::string owner = group.empty() ? std::string("no group") : "the group '" + group + "'";
    return "The port belongs to " + owner +
           ", not one made for serial ports, so joining it is no answer: install the package's "
           "udev rule, which gives the logged-in user access to the device's bridge";
}

std::string PermissionAdvice(const std::string& path) {
    return PermissionAdviceForGroup(GroupOwningDevice(path));
}

std::string SilentPortAdvice(const std::string& path) {
    if (!IsModemClassDevice(path) || !ModemManagerRunning())
        return "";
    return "ModemManager is running and may have grabbed " + path +
           ": tell it to leave the device alone (the package's udev rule does) or stop it while "
           "flashing.";
}

}  // namespace platform
