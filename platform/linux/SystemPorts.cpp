// The system's serial devices, found through sysfs: USB-serial, CDC-ACM,
// Bluetooth RFCOMM and UARTs with real hardware.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/SystemPorts.h"

namespace platform {
namespace {

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

// A legacy 8250 entry exists for every possible UART; only those whose port
// type is known have hardware behind them.
bool UartHasHardware(const std::filesystem::path& entry) {
    std::ifstream type(entry / "type");
    int value = 0;
    return (type >> value) && value != 0;
}

}  // namespace

std::vector<std::string> PortTable::ScanSystemPorts() {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it("/sys/class/tty", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        bool wanted = name.rfind("rfcomm", 0) == 0;
        if (!wanted && fs::exists(entry / "device", ec)) {
            wanted = name.rfind("ttyS", 0) != 0 || UartHasHardware(entry);
        }
        if (wanted)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::string> paths;
    for (const std::string& n : names)
        paths.push_back("/dev/" + n);
    return paths;
}

// Here COMn means the n-th device of the sorted scan.
std::optional<std::vector<PortEntry>> ListSystemPorts() {
    return std::nullopt;
}

std::optional<std::string> SystemPortPath(int) {
    return std::nullopt;
}

}  // namespace platform
