// What a Windows device instance ID says of a USB device (internal to
// platform/, where the Windows port description reads it; plain text
// handling, so it is tested on every system). The forms:
//   USB\VID_0403&PID_6001\A50285BI           a USB device; its serial number last
//   USB\VID_2341&PID_0043&MI_00\6&2A3B&0&0000 an interface of a composite device
//   FTDIBUS\VID_0403+PID_6001+A50285BIA\0000  the FTDI driver's port: serial and
//                                              port letter
// Windows makes up the last part ("5&1A2B3C&0&2", with '&') for a device
// that has no serial number: that is no serial number.
#pragma once

#include <string>

namespace platform {

struct UsbIdentity {
    std::string usbId;         // "0403:6001", lowercase; "" when the ID names none
    std::string serialNumber;  // "" when the device has none
};

UsbIdentity ParseUsbInstanceId(const std::string& instanceId);

}  // namespace platform
