#include "platform/UsbInstanceId.h"

#include <gtest/gtest.h>

// The USB ids and serial number a Windows device instance ID carries, for
// the selectors: a made-up instance (with '&') or an interface is no serial.
TEST(UsbInstanceId, IdsAndSerialNumbersOfEachForm) {
    struct Case {
        const char* id;
        const char* usbId;
        const char* serial;
    } cases[] = {
        {"USB\\VID_0403&PID_6001\\A50285BI", "0403:6001", "A50285BI"},
        {"USB\\VID_1A86&PID_7523\\5&1A2B3C4D&0&2", "1a86:7523", ""},
        {"USB\\VID_2341&PID_0043&MI_00\\6&2A3B&0&0000", "2341:0043", ""},
        {"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEB\\0000", "0403:6010", "FT4ABCDE"},
        {"usb\\vid_10c4&pid_ea60\\0001", "10c4:ea60", "0001"},
        {"ACPI\\PNP0501\\1", "", ""},
        {"USB\\VID_04X3&PID_6001\\A1", "", ""},
        {"USB\\VID_0403&PID_6001", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const platform::UsbIdentity identity = platform::ParseUsbInstanceId(c.id);
        EXPECT_EQ(c.usbId, identity.usbId) << c.id;
        EXPECT_EQ(c.serial, identity.serialNumber) << c.id;
    }
}
