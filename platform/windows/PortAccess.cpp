// Windows keeps no groups on serial ports and does not tell who holds one
// open; there is no ModemManager. What is known of a COM port comes from the
// device manager's records (SetupAPI): the port's device, and for a USB
// bridge its USB device, whose instance ID carries the ids and the serial.
#include <windows.h>

#include <cfgmgr32.h>

#include "platform/LineSource.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"
#include "platform/UsbInstanceId.h"
#include "platform/windows/PortDevices.h"

namespace platform {
namespace {

constexpr char kDeviceNamespace[] = "\\\\.\\";

std::string InstanceId(DEVINST device) {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    return ::CM_Get_Device_IDA(device, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? id : "";
}

// The facts of the present port device named COMn, or none.
PortFacts DescribeComPort(int number) {
    PortFacts facts;
    ForEachPortDevice([&facts, number](HDEVINFO devices, SP_DEVINFO_DATA* device, int com) {
        if (com != number)
            return true;
        facts.kind = "serial";
        facts.product = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
        facts.manufacturer = DeviceProperty(devices, device, SPDRP_MFG);
        facts.driver = DeviceProperty(devices, device, SPDRP_SERVICE);
        // The port's own ID, then its parents': the USB device is one of
        // them (a CDC port is an interface of it, a bridge's port its child).
        DEVINST at = device->DevInst;
        for (int up = 0; up < 3; ++up) {
            const UsbIdentity usb = ParseUsbInstanceId(InstanceId(at));
            if (!usb.usbId.empty()) {
                facts.kind = "USB";
                facts.usbId = usb.usbId;
                if (facts.serialNumber.empty())
                    facts.serialNumber = usb.serialNumber;
            }
            DEVINST parent = 0;
            if (::CM_Get_Parent(&parent, at, 0) != CR_SUCCESS)
                break;
            at = parent;
        }
        return false;
    });
    return facts;
}

}  // namespace

std::string GroupOwningDevice(const std::string&) {
    return "";
}

std::vector<PortHolder> ProcessesHoldingDevice(const std::string&) {
    return {};
}

PortFacts DescribePort(const std::string& path) {
    PortFacts facts;
    if (const LineSource* source = LineSourceFor(path.c_str())) {
        facts.kind = source->Kind();
        return facts;
    }
    if (path.rfind(kDeviceNamespace, 0) == 0) {
        if (const int number =
                PortTable::ParseComNumber(path.c_str() + sizeof kDeviceNamespace - 1))
            return DescribeComPort(number);
    }
    return facts;
}

// A COM port refuses a second user while one program has it; no group or
// rule grants it.
std::string PermissionAdvice(const std::string&) {
    return "Another program may have the port open, or its driver refuses this user: close "
           "programs that use serial ports and try again";
}

std::string SilentPortAdvice(const std::string&) {
    return "";
}

}  // namespace platform
