#include "platform/windows/PortDevices.h"

// initguid.h before devguid.h defines the class GUIDs here.
#include <initguid.h>

#include <devguid.h>

#include "platform/PortTable.h"

namespace platform {

void ForEachPortDevice(const std::function<bool(HDEVINFO, SP_DEVINFO_DATA*, int)>& visit) {
    HDEVINFO devices =
        ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return;
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
        const int number = named ? PortTable::ParseComNumber(portName) : 0;
        if (number != 0 && !visit(devices, &device, number))
            break;
    }
    ::SetupDiDestroyDeviceInfoList(devices);
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property) {
    char text[256] = {};
    return ::SetupDiGetDeviceRegistryPropertyA(devices, device, property, nullptr,
                                               reinterpret_cast<BYTE*>(text), sizeof text - 1,
                                               nullptr)
               ? text
               : "";
}

}  // namespace platform
