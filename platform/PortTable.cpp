#include "platform/PortTable.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSystemScanLifetime = std::chrono::seconds(1);

struct TableState {
    std::mutex mutex;
    std::optional<std::vector<std::string>> override;
    std::vector<std::string> systemPorts;
    Clock::time_point scannedAt{};
    bool scanned = false;
};

TableState& State() {
    static TableState state;
    return state;
}

std::vector<std::string> SplitPaths(const char* list) {
    std::vector<std::string> paths;
    std::string current;
    for (const char* p = list;; ++p) {
        if (*p == ':' || *p == '\0') {
            if (!current.empty())
                paths.push_back(current);
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current.push_back(*p);
        }
    }
    return paths;
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

std::vector<std::string> PortTable::Entries() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.override)
        return *s.override;
    if (const char* env = std::getenv("BREVIK_PORTS"))
        return SplitPaths(env);
    Clock::time_point now = Clock::now();
    if (!s.scanned || now - s.scannedAt > kSystemScanLifetime) {
        s.systemPorts = ScanSystemPorts();
        s.scannedAt = now;
        s.scanned = true;
    }
    return s.systemPorts;
}

void PortTable::SetOverride(std::vector<std::string> paths) {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.override = std::move(paths);
}

void PortTable::ClearOverride() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.override.reset();
}

std::optional<std::vector<std::string>> PortTable::Override() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.override;
}

int PortTable::ParseComNumber(const char* name) {
    if (name == nullptr)
        return 0;
    if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return 0;
    }
    const char* digits = name + 3;
    if (*digits == '\0' || std::strlen(digits) > 3)
        return 0;
    int n = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            return 0;
        n = n * 10 + (*p - '0');
    }
    return n >= 1 && n <= kMaxPortNumber ? n : 0;
}

std::optional<std::string> PortTable::Resolve(const char* name) {
    if (name == nullptr)
        return std::nullopt;
    if (name[0] == '/')
        return std::string(name);
    int number = ParseComNumber(name);
    if (number == 0)
        return std::nullopt;
    std::vector<std::string> entries = Entries();
    if (static_cast<size_t>(number) > entries.size())
        return std::nullopt;
    return entries[number - 1];
}

int PortTable::NumberOfPath(const std::string& path) {
    std::vector<std::string> entries = Entries();
    for (size_t i = 0; i < entries.size() && i < static_cast<size_t>(kMaxPortNumber); ++i) {
        if (entries[i] == path)
            return static_cast<int>(i + 1);
    }
    return kMaxPortNumber;
}

}  // namespace platform
