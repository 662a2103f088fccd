// The system's serial devices, from its device database (libudev):
// USB-serial, CDC-ACM, Bluetooth RFCOMM and UARTs with real hardware.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/SystemPorts.h"
#include "platform/Thread.h"
#include "platform/linux/UdevDevice.h"

namespace platform {
namespace {

// What the last scan found of each port, by device number: describing a
// port again would look up the same device and its parents again, which
// costs as much as the scan itself.
struct ScannedFacts {
    std::mutex mutex;
    bool current = false;
    std::chrono::steady_clock::time_point at{};
    std::map<dev_t, PortFacts> byDevice;
};

ScannedFacts& Scanned() {
    static ScannedFacts scanned;
    return scanned;
}

// USB and Bluetooth adapters first (where a device most likely is), then
// other hardware, then the on-board UARTs; numbers compare as numbers.
int KindRank(const std::string& name) {
    if (name.rfind("ttyUSB", 0) == 0)
        return 0;
    if (name.rfind("ttyACM", 0) == 0)
        return 1;
    if (name.rfind("rfcomm", 0) == 0)
        return 2;
    if (name.rfind("ttyS", 0) == 0)
        return 4;
    return 3;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    int ra = KindRank(a), rb = KindRank(b);
    if (ra != rb)
        return ra < rb;
    size_t ia = a.find_first_of("0123456789");
    size_t ib = b.find_first_of("0123456789");
    std::string pa = a.substr(0, ia), pb = b.substr(0, ib);
    if (pa != pb)
        return pa < pb;
    long na = ia == std::string::npos ? -1 : std::strtol(a.c_str() + ia, nullptr, 10);
    long nb = ib == std::string::npos ? -1 : std::strtol(b.c_str() + ib, nullptr, 10);
    if (na != nb)
        return na < nb;
    return a < b;
}

// A serial device with hardware behind it, and what the database says of
// it: not a virtual console or pseudo-terminal, and of the legacy 8250
// entries (one for every possible UART) only those whose port type is
// known. Bluetooth ports are virtual until their link is made.
std::optional<PortFacts> SerialHardwareFacts(udev_device* tty) {
    const char* name = udev_device_get_sysname(tty);
    const char* devpath = udev_device_get_devpath(tty);
    if (name == nullptr || devpath == nullptr)
        return std::nullopt;
    const bool bluetooth = std::strncmp(name, "rfcomm", 6) == 0;
    if (!bluetooth && std::strncmp(devpath, "/devices/virtual/", 17) == 0)
        return std::nullopt;
    PortFacts facts = FactsOfTty(tty);
    // A device with no parent has nothing behind it.
    if (facts.kind.empty())
        return std::nullopt;
    if (!bluetooth && std::strncmp(name, "ttyS", 4) == 0) {
        const std::string type = Attribute(tty, "type");
        if (type.empty() || type == "0")
            return std::nullopt;
    }
    return facts;
}

struct ScannedPart {
    std::vector<std::string> names;
    std::map<dev_t, PortFacts> facts;
};

// The serial hardware among the ttys whose names match one of the patterns
// (every tty without patterns), with its facts. A context of its own, as
// libudev's objects are not to be shared between threads.
ScannedPart ScanTtys(const std::vector<std::string>& patterns) {
    ScannedPart part;
    const UdevContext context{udev_new()};
    const UdevEnumeration ttys{context ? udev_enumerate_new(context.get()) : nullptr};
    if (!ttys || udev_enumerate_add_match_subsystem(ttys.get(), "tty") < 0)
        return part;
    for (const std::string& pattern : patterns) {
        if (udev_enumerate_add_match_sysname(ttys.get(), pattern.c_str()) < 0)
            return part;
    }
    if (udev_enumerate_scan_devices(ttys.get()) < 0)
        return part;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(ttys.get())) {
        const UdevDevicePtr tty{
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry))};
        if (!tty)
            continue;
        if (std::optional<PortFacts> found = SerialHardwareFacts(tty.get())) {
            part.names.push_back(udev_device_get_sysname(tty.get()));
            part.facts[udev_device_get_devnum(tty.get())] = std::move(*found);
        }
    }
    return part;
}

// Name patterns that split the ttys into about equal parts by the last
// character of their names (tty names end in a number, or have none):
// libudev's enumeration looks up every folder above each tty, which is most
// of a scan's time, and each part can be scanned on a core of its own.
std::vector<std::vector<std::string>> NamePatternsByLastDigit(unsigned parts) {
    if (parts <= 1)
        return {{}};
    std::vector<std::string> digits(parts);
    for (unsigned digit = 0; digit < 10; ++digit)
        digits[digit % parts] += static_cast<char>('0' + digit);
    std::vector<std::vector<std::string>> patterns;
    for (const std::string& set : digits)
        patterns.push_back({"*[" + set + "]"});
    patterns.front().push_back("*[!0-9]");
    return patterns;
}

}  // namespace

std::vector<std::string> PortTable::ScanSystemPorts() {
    // Scanned side by side, a part per core; the first on this thread.
    const std::vector<std::vector<std::string>> patterns =
        NamePatternsByLastDigit(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<ScannedPart> parts(patterns.size());
    std::vector<std::unique_ptr<ThreadHandle>> workers;
    for (size_t i = 1; i < patterns.size(); ++i) {
        auto scan = [&parts, &patterns, i] { parts[i] = ScanTtys(patterns[i]); };
        if (std::unique_ptr<ThreadHandle> worker = StartThread(scan))
            workers.push_back(std::move(worker));
        else
            scan();
    }
    parts[0] = ScanTtys(patterns[0]);
    for (const std::unique_ptr<ThreadHandle>& worker : workers)
        worker->Wait();
    std::vector<std::string> names;
    std::map<dev_t, PortFacts> facts;
    for (ScannedPart& part : parts) {
        names.insert(names.end(), part.names.begin(), part.names.end());
        facts.merge(part.facts);
    }
    {
        ScannedFacts& scanned = Scanned();
        std::lock_guard<std::mutex> lock(scanned.mutex);
        scanned.byDevice = std::move(facts);
        scanned.at = std::chrono::steady_clock::now();
        scanned.current = true;
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::string> paths;
    for (const std::string& n : names)
        paths.push_back("/dev/" + n);
    return paths;
}

std::optional<PortFacts> ScannedFactsOf(const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return std::nullopt;
    ScannedFacts& scanned = Scanned();
    std::lock_guard<std::mutex> lock(scanned.mutex);
    if (!scanned.current || std::chrono::steady_clock::now() - scanned.at > kSystemScanLifetime)
        return std::nullopt;
    const auto found = scanned.byDevice.find(node.st_rdev);
    if (found == scanned.byDevice.end())
        return std::nullopt;
    return found->second;
}

void ForgetScannedPorts() {
    ScannedFacts& scanned = Scanned();
    std::lock_guard<std::mutex> lock(scanned.mutex);
    scanned.current = false;
}

// Here COMn means the n-th device of the sorted scan.
std::optional<std::vector<PortEntry>> ListSystemPorts() {
    return std::nullopt;
}

std::optional<std::string> SystemPortPath(int) {
    return std::nullopt;
}

}  // namespace platform
