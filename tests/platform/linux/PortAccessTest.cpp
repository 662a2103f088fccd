#include "platform/PortAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/GroupAdvice.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {
void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}
}  // namespace

TEST(PortAccess, FactsOfAUsbBridgeABluetoothPortAndAMissingDevice) {
    TempDir dir;
    const fs::path sys = fs::path(dir.Path()) / "sys";
    // A USB-serial bridge as sysfs shows it: the tty's device is the
    // interface, the USB device with its ids one level up.
    const fs::path usb = sys / "devices/pci0000:00/usb1/1-2";
    Put(usb / "idVendor", "0403");
    Put(usb / "idProduct", "6001");
    Put(usb / "serial", "BK123456");
    Put(usb / "product", "Quillex USB");
    Put(usb / "manufacturer", "Brevik");
    const fs::path interface = usb / "1-2:1.0";
    fs::create_directories(interface);
    fs::create_directories(sys / "bus/usb-serial/drivers/ftdi_sio");
    fs::create_directory_symlink(sys / "bus/usb-serial/drivers/ftdi_sio", interface / "driver");
    fs::create_directories(sys / "class/tty/ttyUSB0");
    fs::create_directory_symlink(interface, sys / "class/tty/ttyUSB0/device");
    const fs::path node = fs::path(dir.Path()) / "ttyUSB0";
    Put(node, "");

    const platform::PortFacts usbFacts = platform::DescribePort(node.string(), sys.string());
    EXPECT_EQ("USB", usbFacts.kind);
    EXPECT_EQ("0403:6001", usbFacts.usbId);
    EXPECT_EQ("BK123456", usbFacts.serialNumber);
    EXPECT_EQ("Quillex USB", usbFacts.product);
    EXPECT_EQ("Brevik", usbFacts.manufacturer);
    EXPECT_EQ("ftdi_sio", usbFacts.driver);

    const fs::path rfcomm = fs::path(dir.Path()) / "rfcomm0";
    Put(rfcomm, "");
    EXPECT_EQ("Bluetooth", platform::DescribePort(rfcomm.string(), sys.string()).kind);
    EXPECT_EQ("", platform::DescribePort(dir.File("none"), sys.string()).kind);
}

TEST(PortAccess, JoiningTheGroupIsAdvisedOnlyForAGroupMadeForSerialPorts) {
    for (const auto& [group, joins] : std::vector<std::pair<std::string, bool>>{
             {"dialout", true}, {"uucp", true}, {"root", false}, {"disk", false}, {"", false}}) {
        const std::string advice = platform::PermissionAdviceForGroup(group);
        EXPECT_EQ(joins, advice.find("usermod") != std::string::npos) << group << ": " << advice;
        EXPECT_EQ(!joins, advice.find("joining it is no answer") != std::string::npos) << group;
    }
}
