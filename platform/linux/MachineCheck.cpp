// Linux: access to a port comes from the group owning its node or from the
// package's udev rule (which also keeps ModemManager off our bridges and sets
// their timer); brltty, a braille display service, takes several common
// bridges for itself; a program that holds a port may say so with a lock
// (flock, fcntl or a UUCP lock file) or not at all.
#include "platform/MachineCheck.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/BridgeLatency.h"
#include "platform/PortAccess.h"
#include "platform/SerialPort.h"
#include "platform/linux/FollowLinks.h"
#include "platform/linux/ProcessTable.h"
#include "platform/linux/WslCheck.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRuleName = "70-brevik.rules";
constexpr const char* kRuleFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                        "/lib/udev/rules.d", "/usr/lib/udev/rules.d"};

struct Membership {
    bool listed = false;  // the system's group database has this user in it
    bool active = false;  // this login has it
};

Membership MembershipOf(const std::string& name) {
    Membership m;
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (name.empty() ||
        ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr)
        return m;
    const gid_t gid = found->gr_gid;
    std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<size_t>(std::max(count, 0)));
    m.active = ::getegid() == gid || std::find(groups.begin(), groups.end(), gid) != groups.end();
    std::vector<char> userBuffer(16384);
    passwd user{};
    passwd* me = nullptr;
    if (::getpwuid_r(::getuid(), &user, userBuffer.data(), userBuffer.size(), &me) != 0 ||
        me == nullptr)
        return m;
    m.listed = me->pw_gid == gid;
    for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member)
        m.listed = m.listed || std::string(*member) == me->pw_name;
    return m;
}

// Whether process pid holds a lock on the device: an flock or fcntl lock on
// its node (/proc/locks: "1: FLOCK ADVISORY WRITE PID MAJ:MIN:INODE 0 EOF"),
// or a UUCP lock file naming it.
bool LocksDevice(int pid, const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return false;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos)
            continue;  // a waiter, not a holder
        std::istringstream words(line);
        std::string number, kind, advisory, mode, where;
        int holder = 0;
        if (!(words >> number >> kind >> advisory >> mode >> holder >> where))
            continue;
        const size_t colon = where.rfind(':');
        if (holder == pid && colon != std::string::npos &&
            where.substr(colon + 1) == std::to_string(node.st_ino))
            return true;
    }
    const std::string name = FollowLinks(path).filename().string();
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        std::istringstream text(FirstLineOf(std::string(folder) + "/LCK.." + name));
        int owner = 0;
        if (text >> owner && owner == pid)
            return true;
    }
    return false;
}

void AccessFindings(const std::string& path, std::vector<Finding>* findings) {
    const std::string group = GroupOwningDevice(path);
    const Membership member = MembershipOf(group);
    if (member.listed && !member.active)
        findings->push_back(
            {"this login may not open the port: you joined the group '" + group +
                 "' that owns it after logging in, and a login keeps the groups it started with",
             "log out and in again (or run 'newgrp " + group + "' in this terminal)"});
    else
        findings->push_back({"this user may not open the port", PermissionAdvice(path)});
}

// Whether the terminal is exclusive (TIOCEXCL); an open it refuses says so.
bool TerminalExclusive(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    const bool is = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    ::close(fd);
    return is;
}

}  // namespace

std::vector<Finding> MachineFindings() {
    std::vector<Finding> findings;
    std::error_code ec;
    const bool ruled = std::any_of(
        std::begin(kRuleFolders), std::end(kRuleFolders),
        [&ec](const char* folder) { return fs::exists(fs::path(folder) / kRuleName, ec); });
    if (!ruled)
        findings.push_back(
            {std::string("the package's udev rule (") + kRuleName +
                 ") is not installed: our USB bridges then give no access to the logged-in "
                 "user, ModemManager may probe them, and their latency timer stays at 16 ms",
             "install the brevik package, or copy the rule into /etc/udev/rules.d and run "
             "'sudo udevadm control --reload' before plugging the device in again"});
    if (ProcessRunning("brltty"))
        findings.push_back(
            {"brltty (a braille display service) is running: it takes several common USB "
             "serial bridges (CH340, CP210x) for itself, and their port goes away as it appears",
             "if no braille display is used here, remove it: 'sudo apt remove brltty'"});
    for (Finding& f : WslFindings(ReadWslFacts()))
        findings.push_back(std::move(f));
    return findings;
}

std::vector<Finding> PortFindings(const std::string& path, int* timerMs) {
    std::vector<Finding> findings;
    if (timerMs != nullptr)
        *timerMs = 0;
    OpenError error = OpenError::None;
    if (SerialPort::Open(path.c_str(), &error) == nullptr) {
        switch (error) {
            case OpenError::PermissionDenied:
                AccessFindings(path, &findings);
                break;
            case OpenError::NoLink:
                findings.push_back(
                    {"the Bluetooth port is bound, but no link to its device could be made (it "
                     "is off or out of reach)",
                     "switch the device on and bring it near, or release the port: 'sudo "
                     "rfcomm release " +
                         FollowLinks(path).filename().string() + "'"});
                break;
            case OpenError::NotFound:
                findings.push_back({"the port has no device node", "plug the device in again"});
                break;
            default:
                break;
        }
    }
    const std::vector<PortHolder> holders = ProcessesHoldingDevice(path);
    // A terminal made exclusive keeps out every opener but root: the one
    // program that holds it has a lock of a kind.
    const bool exclusiveHolder = holders.size() == 1 && TerminalExclusive(path);
    for (const PortHolder& holder : holders) {
        const bool locks = exclusiveHolder || LocksDevice(holder.pid, path);
        findings.push_back(
            {holder.name + " (pid " + std::to_string(holder.pid) + ") has the port open" +
                 (locks ? ", with a lock" : ", without a lock: its bytes can mix with an upload's"),
             "close " + holder.name + " (or end it: 'kill " + std::to_string(holder.pid) + "')"});
    }
    if (const std::string advice = SilentPortAdvice(path); !advice.empty())
        findings.push_back({"ModemManager is running and probes this modem-class port",
                            "the package's udev rule tells it to leave our bridges alone; or "
                            "stop it while flashing: 'sudo systemctl stop ModemManager'"});
    // Read, never written: the doctor changes nothing.
    const BridgeTimer timer = InspectBridgeTimer(path);
    if (timerMs != nullptr)
        *timerMs = timer.timerMs;
    if (!timer.advice.empty())
        findings.push_back({"the USB bridge holds each reply up to " +
                                std::to_string(timer.timerMs) +
                                " ms (its latency timer), a wait for every block of an upload",
                            timer.advice});
    return findings;
}

}  // namespace platform
