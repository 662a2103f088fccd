#include "platform/PortAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/LineSource.h"
#include "platform/linux/FollowLinks.h"
#include "platform/linux/GroupAdvice.h"
#include "platform/linux/ProcessTable.h"
#include "platform/linux/UdevDevice.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    return FirstLineOf(file.string());
}

bool ModemManagerRunning() {
    return ProcessRunning("ModemManager");
}

// True for a USB modem-class (CDC-ACM) serial device, which ModemManager
// probes unless told to leave it alone.
bool IsModemClassDevice(const std::string& path) {
    return FollowLinks(path).filename().string().rfind("ttyACM", 0) == 0;
}

// The number of the pseudo-terminal a device number is the slave end of
// (UNIX98 slaves have majors 136 to 143), or -1.
int PseudoTerminalIndex(const struct stat& node) {
    if (!S_ISCHR(node.st_mode) || major(node.st_rdev) < 136 || major(node.st_rdev) > 143)
        return -1;
    return static_cast<int>((major(node.st_rdev) - 136) * 256 + minor(node.st_rdev));
}

// Whether descriptor fd of a process is the master of pseudo-terminal
// index: a ptmx (5:2) whose fdinfo names that terminal.
bool IsMasterOf(const fs::path& process, const std::string& fd, const struct stat& node,
                int index) {
    if (!S_ISCHR(node.st_mode) || major(node.st_rdev) != 5 || minor(node.st_rdev) != 2)
        return false;
    std::ifstream info(process / "fdinfo" / fd);
    const std::string wanted = "tty-index:\t" + std::to_string(index);
    for (std::string line; std::getline(info, line);)
        if (line == wanted)
            return true;
    return false;
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
    // The device itself, whatever name or link it was opened by: its number
    // for a device node, else the file.
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return holders;
    auto same = [&target](const struct stat& st) {
        return S_ISCHR(target.st_mode) ? S_ISCHR(st.st_mode) && st.st_rdev == target.st_rdev
                                       : st.st_dev == target.st_dev && st.st_ino == target.st_ino;
    };
    // A process with the master of this very pseudo-terminal is its device
    // side (a simulator, a test fixture, a bridge to elsewhere), whatever it
    // is called and whatever else it holds: not another user of the port.
    const int terminal = PseudoTerminalIndex(target);
    const std::string self = std::to_string(::getpid());
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.size() > 9 ||
            pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        bool holds = false;
        bool deviceSide = false;
        std::error_code fdError;
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat st {};
            if (::stat(fd.path().c_str(), &st) != 0)
                continue;
            holds = holds || same(st);
            deviceSide = deviceSide ||
                         (terminal >= 0 &&
                          IsMasterOf(process.path(), fd.path().filename().string(), st, terminal));
            if (deviceSide || (holds && terminal < 0))
                break;
        }
        if (holds && !deviceSide)
            holders.push_back({FirstLine(process.path() / "comm"), std::stoi(pid)});
    }
    return holders;
}

PortFacts DescribePort(const std::string& path) {
    PortFacts facts;
    if (const LineSource* source = LineSourceFor(path.c_str())) {
        facts.kind = source->Kind();
        return facts;
    }
    // The scan that made the port table saw every system port already.
    if (std::optional<PortFacts> scanned = ScannedFactsOf(path))
        return *scanned;
    const UdevContext context{udev_new()};
    const UdevDevicePtr tty = TtyDeviceOf(context.get(), path);
    if (!tty) {
        if (IsPseudoTerminal(path))
            facts.kind = "pseudo-terminal";
        return facts;
    }
    return FactsOfTty(tty.get());
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
