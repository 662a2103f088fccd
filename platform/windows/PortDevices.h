// The device manager's records of the present COM ports (internal to
// platform/windows): each port device with the number of its COM name.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <functional>
#include <string>

namespace platform {

// Calls visit for each present port device whose PortName is COMn, with n;
// visit returns false to stop.
void ForEachPortDevice(const std::function<bool(HDEVINFO, SP_DEVINFO_DATA*, int)>& visit);

// A text property of the device (SPDRP_FRIENDLYNAME, SPDRP_MFG, ...), or "".
std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property);

}  // namespace platform
