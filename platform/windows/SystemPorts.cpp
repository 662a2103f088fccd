// The system's COM ports: the serial device map the drivers fill in
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), with the friendly names the device
// manager shows, where a port has one.
#include <windows.h>

#include <algorithm>
#include <map>

#include "platform/SystemPorts.h"
#include "platform/windows/PortDevices.h"

namespace platform {
namespace {

std::string PortPathOf(int number) {
    return "\\\\.\\COM" + std::to_string(number);
}

// "COM7" -> 7; 0 for anything else.
int NumberOfPortName(const char* name) {
    return PortTable::ParseComNumber(name);
}

std::map<int, std::string> FriendlyNames() {
    std::map<int, std::string> names;
    ForEachPortDevice([&names](HDEVINFO devices, SP_DEVINFO_DATA* device, int number) {
        if (std::string friendly = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
            !friendly.empty())
            names[number] = friendly;
        return true;
    });
    return names;
}

std::vector<int> MappedPortNumbers() {
    std::vector<int> numbers;
    HKEY map;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) !=
        ERROR_SUCCESS)
        return numbers;
    for (DWORD i = 0;; ++i) {
        char valueName[256];
        DWORD nameSize = sizeof valueName;
        char data[32] = {};
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG rc = ::RegEnumValueA(map, i, valueName, &nameSize, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || type != REG_SZ)
            continue;
        if (const int number = NumberOfPortName(data))
            numbers.push_back(number);
    }
    ::RegCloseKey(map);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace

std::vector<std::string> PortTable::ScanSystemPorts() {
    std::vector<std::string> table;
    const std::vector<int> numbers = MappedPortNumbers();
    const int highest = numbers.empty() ? 0 : numbers.back();
    for (int n = 1; n <= highest; ++n)
        table.push_back(PortPathOf(n));
    return table;
}

// Ports are described from the device manager each time: nothing to forget.
void ForgetScannedPorts() {}

std::optional<std::vector<PortEntry>> ListSystemPorts() {
    const std::map<int, std::string> friendly = FriendlyNames();
    std::vector<PortEntry> ports;
    for (int number : MappedPortNumbers()) {
        const auto name = friendly.find(number);
        ports.push_back(
            {number, PortPathOf(number), name != friendly.end() ? name->second : std::string()});
    }
    return ports;
}

std::optional<std::string> SystemPortPath(int number) {
    return PortPathOf(number);
}

}  // namespace platform
