// The common bridge driver (FTDI) keeps a port's timer in its registry
// parameters: the "Device Parameters" key of each device instance under
// HKLM SYSTEM\CurrentControlSet\Enum\FTDIBUS, values PortName ("COM3") and
// LatencyTimer (ms). Only the user changes it (Device Manager); here it is
// read, and advised on.
#include "platform/BridgeLatency.h"

#include <windows.h>

#include <cctype>
#include <optional>
#include <vector>

namespace platform {
namespace {

constexpr char kBridgeDevices[] = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

std::vector<std::string> Subkeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

// "COM3" of "\\.\COM3" or "com3".
std::string ComName(const std::string& path) {
    std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

std::optional<int> TimerOfPort(const std::string& comName) {
    HKEY devices = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kBridgeDevices, 0, KEY_READ, &devices) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<int> timer;
    for (const std::string& device : Subkeys(devices)) {
        HKEY deviceKey = nullptr;
        if (::RegOpenKeyExA(devices, device.c_str(), 0, KEY_READ, &deviceKey) != ERROR_SUCCESS)
            continue;
        for (const std::string& instance : Subkeys(deviceKey)) {
            HKEY parameters = nullptr;
            const std::string sub = instance + "\\Device Parameters";
            if (::RegOpenKeyExA(deviceKey, sub.c_str(), 0, KEY_READ, &parameters) != ERROR_SUCCESS)
                continue;
            char portName[32] = {};
            DWORD size = sizeof portName - 1;
            DWORD type = 0;
            DWORD ms = 0;
            DWORD msSize = sizeof ms;
            if (::RegQueryValueExA(parameters, "PortName", nullptr, &type,
                                   reinterpret_cast<BYTE*>(portName), &size) == ERROR_SUCCESS &&
                type == REG_SZ && ComName(portName) == comName &&
                ::RegQueryValueExA(parameters, "LatencyTimer", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&ms), &msSize) == ERROR_SUCCESS &&
                type == REG_DWORD && ms >= 1 && ms <= 255)
                timer = static_cast<int>(ms);
            ::RegCloseKey(parameters);
        }
        ::RegCloseKey(deviceKey);
    }
    ::RegCloseKey(devices);
    return timer;
}

}  // namespace

std::string CharacterDeviceNumber(const std::string&) {
    return "";
}

std::string SysfsRoot() {
    return "";
}

BridgeTimer InspectBridgeTimer(const std::string& portPath) {
    BridgeTimer timer;
    const std::string comName = ComName(portPath);
    const std::optional<int> ms = TimerOfPort(comName);
    if (!ms)
        return timer;
    timer.timerMs = *ms;
    if (timer.timerMs > 1)
        timer.advice = "the USB bridge of " + comName + " holds each reply up to " +
                       std::to_string(timer.timerMs) +
                       " ms (its latency timer): in Device Manager, open Ports, " + comName +
                       ", Port Settings, Advanced, and set Latency Timer to 1 ms";
    return timer;
}

// Only read here: the hold is what the timer is.
LowLatencyHold::LowLatencyHold(const std::string& portPath) {
    const BridgeTimer timer = InspectBridgeTimer(portPath);
    timerMs_ = timer.timerMs;
    advice_ = timer.advice;
}

LowLatencyHold::~LowLatencyHold() = default;

}  // namespace platform
