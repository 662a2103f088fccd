#include "platform/PortTable.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/Conventions.h"
#include "platform/Environment.h"
#include "platform/LineSource.h"
#include "platform/SystemPorts.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

struct TableState {
    std::mutex mutex;
    std::optional<std::vector<std::string>> override;
    std::vector<std::string> systemPorts;
    Clock::time_point scannedAt{};
    bool scanned = false;
    uint64_t generation = 0;
};

TableState& State() {
    static TableState state;
    return state;
}

std::vector<std::string> SplitPaths(const char* list) {
    std::vector<std::string> paths;
    std::string current;
    for (const char* p = list;; ++p) {
        if (*p == kPathListSeparator || *p == '\0') {
            if (!current.empty())
                paths.push_back(PortTable::AbsoluteName(current));
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current.push_back(*p);
        }
    }
    return paths;
}

// True when the program or the environment set a table.
bool TableIsSet(TableState& s) {
    return s.override.has_value() || EnvironmentValue("BREVIK_PORTS").has_value();
}

constexpr char kDeviceNamespace[] = "\\\\.\\";  // \\.\COM7

}  // namespace

std::vector<PortEntry> PortTable::List() {
    {
        TableState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!TableIsSet(s)) {
            if (std::optional<std::vector<PortEntry>> own = ListSystemPorts())
                return *own;
        }
    }
    std::vector<PortEntry> list;
    const std::vector<std::string> entries = Entries();
    for (size_t i = 0; i < entries.size() && i < static_cast<size_t>(kMaxPortNumber); ++i)
        list.push_back({static_cast<int>(i + 1), entries[i], ""});
    return list;
}

bool PortTable::IsPathName(const char* name) {
    return name != nullptr &&
           (name[0] == '/' || LineSourceFor(name) != nullptr ||
            std::strncmp(name, kDeviceNamespace, sizeof kDeviceNamespace - 1) == 0);
}

std::vector<std::string> PortTable::Entries() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.override)
        return *s.override;
    if (const std::optional<std::string> env = EnvironmentValue("BREVIK_PORTS"))
        return SplitPaths(env->c_str());
    Clock::time_point now = Clock::now();
    if (!s.scanned || now - s.scannedAt > kSystemScanLifetime) {
        s.systemPorts = ScanSystemPorts();
        s.scannedAt = now;
        s.scanned = true;
    }
    return s.systemPorts;
}

std::vector<std::string> PortTable::NamedEntries() {
    {
        TableState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!TableIsSet(s))
            return {};
    }
    return Entries();
}

void PortTable::SetOverride(std::vector<std::string> paths) {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.override = std::move(paths);
    ++s.generation;
}

void PortTable::ClearOverride() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.override.reset();
    ++s.generation;
}

uint64_t PortTable::Generation() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.generation;
}

void PortTable::Rescan() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.scanned = false;
    ForgetScannedPorts();
}

std::optional<std::vector<std::string>> PortTable::Override() {
    TableState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.override;
}

std::string PortTable::ComName(int number) {
    return "COM" + std::to_string(number);
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

std::string PortTable::AbsoluteName(const std::string& name) {
    if (IsPathName(name.c_str()) || name.find('/') == std::string::npos)
        return name;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(name, ec);
    return ec ? name : absolute.lexically_normal().string();
}

std::optional<std::string> PortTable::Resolve(const char* name) {
    if (name == nullptr)
        return std::nullopt;
    const std::string named = AbsoluteName(name);
    if (IsPathName(named.c_str()))
        return named;
    int number = ParseComNumber(name);
    if (number == 0)
        return std::nullopt;
    {
        TableState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!TableIsSet(s)) {
            if (std::optional<std::string> own = SystemPortPath(number))
                return own;
        }
    }
    std::vector<std::string> entries = Entries();
    if (static_cast<size_t>(number) > entries.size())
        return std::nullopt;
    return entries[number - 1];
}

int PortTable::NumberOfPath(const std::string& path) {
    bool tableSet;
    {
        TableState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        tableSet = TableIsSet(s);
    }
    // A table that is set numbers its own entries, whatever their form:
    // with BREVIK_PORTS=\\.\COM10;\\.\COM11, \\.\COM11 is COM2.
    std::vector<std::string> entries = Entries();
    for (size_t i = 0; i < entries.size() && i < static_cast<size_t>(kMaxPortNumber); ++i) {
        if (entries[i] == path)
            return static_cast<int>(i + 1);
    }
    // The system's own table: \\.\COMn is its port n.
    if (!tableSet && path.rfind(kDeviceNamespace, 0) == 0) {
        if (const int number = ParseComNumber(path.c_str() + sizeof kDeviceNamespace - 1))
            return number;
    }
    return kMaxPortNumber;
}

}  // namespace platform
