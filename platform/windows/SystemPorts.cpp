// The system's COM ports: the serial device map the drivers fill in
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), with the friendly names the device
// manager shows, where a port has one.
#include <windows.h>
// initguid.h before devguid.h defines the class GUIDs here.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>

#include "platform/SystemPorts.h"

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
    HDEVINFO devices =
        ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        HKEY key =
            ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char portName[32] = {};
        DWORD size = sizeof portName - 1;
        DWORD type = 0;
        const bool named =
            ::RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                               &size) == ERROR_SUCCESS &&
            type == REG_SZ;
        ::RegCloseKey(key);
        const int number = named ? NumberOfPortName(portName) : 0;
        char friendly[256] = {};
        if (number != 0 && ::SetupDiGetDeviceRegistryPropertyA(
                               devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                               reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1, nullptr)) {
            names[number] = friendly;
        }
    }
    ::SetupDiDestroyDeviceInfoList(devices);
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
