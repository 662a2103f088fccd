// The bridge's latency timer on a device tree made by umockdev, as the
// kernel shows a USB-serial port: the tool must find the attribute through
// the tty's device number (the port is opened by another name) and in the
// tty's parent, lower it for an upload and put it back. The simulator, the
// bridge, reads the same attribute at every tick. Runs under umockdev-wrapper,
// which shows the tree to the process as /sys.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <umockdev.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "devicelink/BKQuillex.h"
#include "package/PackageBuilder.h"
#include "platform/BridgeLatency.h"
#include "platform/Environment.h"
#include "platform/MachineCheck.h"
#include "platform/PortTable.h"
#include "sim/VirtualDevice.h"
#include "tests/support/TimerWatch.h"

namespace {

TEST(UmockdevBridge, TheTimerFoundByDeviceNumberGoesDownForTheUploadAndBack) {
    const char* preload = std::getenv("LD_PRELOAD");
    ASSERT_NE(nullptr, std::strstr(preload ? preload : "", "umockdev"))
        << "run under umockdev-wrapper";
    platform::SetEnvironmentValue("BREVIK_SYSFS", "");
    UMockdevTestbed* bed = umockdev_testbed_new();
    gchar* bridge =
        umockdev_testbed_add_device(bed, "usb-serial", "ttyUSB0", nullptr, "latency_timer", "16\n",
                                    nullptr, "DRIVER", "ftdi_sio", nullptr);
    ASSERT_NE(nullptr, bridge);
    gchar* root = umockdev_testbed_get_root_dir(bed);
    const std::string attribute = std::string(root) + bridge + "/latency_timer";
    g_free(root);

    sim::DeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim::ParseBridge("latency:16", &config.bridge, &error)) << error;
    config.bridge.timerFile = attribute;
    sim::VirtualDevice device(config);
    ASSERT_TRUE(device.Start(sim::DeviceLineKind::PseudoTerminal));
    // The tty under the bridge is the simulator's terminal, by its number.
    struct stat node {};
    ASSERT_EQ(0, ::stat(device.PortPath().c_str(), &node));
    const std::string number =
        std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev)) + "\n";
    gchar* tty = umockdev_testbed_add_device(bed, "tty", "ttyUSB0", bridge, "dev", number.c_str(),
                                             nullptr, "DEVNAME", "/dev/ttyUSB0", nullptr);
    ASSERT_NE(nullptr, tty);
    // Opened by a stable name that links to the terminal.
    const std::filesystem::path link =
        std::filesystem::temp_directory_path() / ("brevik-by-id-" + std::to_string(::getpid()));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(device.PortPath(), link);
    platform::PortTable::SetOverride({link.string()});

    BKQuillex q;
    ASSERT_NE(0u, q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort));
    TimerWatch watch(attribute);
    {
        const platform::LowLatencyHold hold(link.string());
        EXPECT_EQ(16, hold.TimerMs());
        EXPECT_TRUE(hold.Lowered());
        EXPECT_EQ("1", TimerWatch::Timer(attribute));
        const Package package = PackageFromBytes(FirmwarePackage(2999, 2, 12, 'Q'));
        EXPECT_EQ(QX_S_OK, q.UpdateFirmware(package, &watch));
    }
    EXPECT_EQ("1", watch.during) << "the bridge saw 1 ms during the upload";
    EXPECT_EQ("16", TimerWatch::Timer(attribute)) << "and its old value afterwards";
    q.ClosePort();
    platform::PortTable::ClearOverride();
    std::filesystem::remove(link);
    g_free(tty);
    g_free(bridge);
    g_object_unref(bed);
}

}  // namespace

namespace {

std::string NumberOf(const std::string& node) {
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0)
        return "";
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

int64_t ChangedAt(const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

// Only the bridge behind the node is touched, and only for a hold: the
// doctor reads the timer without writing it; a node named like another
// bridge's tty (a container's ttyUSB0 that is another device number) lowers
// its own bridge's timer; a bridge replugged during the hold keeps the
// timer its new device came with.
TEST(UmockdevBridge, OnlyTheBridgeBehindTheNodeIsTouchedAndOnlyWhileItIsHeld) {
    const char* preload = std::getenv("LD_PRELOAD");
    ASSERT_NE(nullptr, std::strstr(preload ? preload : "", "umockdev"))
        << "run under umockdev-wrapper";
    platform::SetEnvironmentValue("BREVIK_SYSFS", "");
    UMockdevTestbed* bed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(bed);
    const std::string rootDir = root;
    g_free(root);
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start(sim::DeviceLineKind::PseudoTerminal));
    const std::string number = NumberOf(device.PortPath());
    ASSERT_FALSE(number.empty());
    // Bridge A is ttyUSB0 of another number; bridge B, ttyUSB1, is the
    // simulator's terminal.
    auto plug = [&](const char* name, const std::string& dev, const char* timer) {
        gchar* bridge =
            umockdev_testbed_add_device(bed, "usb-serial", name, nullptr, "latency_timer", timer,
                                        nullptr, "DRIVER", "ftdi_sio", nullptr);
        const std::string devName = std::string("/dev/") + name;
        gchar* tty =
            umockdev_testbed_add_device(bed, "tty", name, bridge, "dev", (dev + "\n").c_str(),
                                        nullptr, "DEVNAME", devName.c_str(), nullptr);
        const std::string path = bridge;
        g_free(tty);
        g_free(bridge);
        return path;
    };
    const std::string a = rootDir + plug("ttyUSB0", "188:250", "16\n") + "/latency_timer";
    const std::string bDevice = plug("ttyUSB1", number, "16\n");
    const std::string b = rootDir + bDevice + "/latency_timer";

    // A node named ttyUSB0 that is the simulator's terminal.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("brevik-nodes-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string node = (folder / "ttyUSB0").string();
    struct stat terminal {};
    ASSERT_EQ(0, ::stat(device.PortPath().c_str(), &terminal));
    if (::mknod(node.c_str(), S_IFCHR | 0600, terminal.st_rdev) != 0) {
        std::filesystem::remove_all(folder);
        g_object_unref(bed);
        GTEST_SKIP() << "device nodes cannot be made here (root only)";
    }

    const int64_t before[] = {ChangedAt(a), ChangedAt(b)};
    int timerMs = 0;
    platform::PortFindings(node, &timerMs);
    EXPECT_EQ(16, timerMs);
    EXPECT_EQ(before[0], ChangedAt(a)) << "the doctor wrote a timer";
    EXPECT_EQ(before[1], ChangedAt(b)) << "the doctor wrote the timer";
    EXPECT_EQ(16, platform::InspectBridgeTimer(node).timerMs);
    {
        const platform::LowLatencyHold hold(node);
        EXPECT_TRUE(hold.Lowered());
        EXPECT_EQ("16", TimerWatch::Timer(a)) << "another bridge's timer was lowered";
        EXPECT_EQ("1", TimerWatch::Timer(b));
    }
    EXPECT_EQ("16", TimerWatch::Timer(b)) << "put back after the hold";
    {
        const platform::LowLatencyHold hold(node);
        EXPECT_EQ("1", TimerWatch::Timer(b));
        // Replugged: the same names and number, a new device set to 1 ms
        // (as the package's udev rule does).
        umockdev_testbed_remove_device(bed, (bDevice + "/ttyUSB1").c_str());
        umockdev_testbed_remove_device(bed, bDevice.c_str());
        plug("ttyUSB1", number, "1\n");
    }
    EXPECT_EQ("1", TimerWatch::Timer(b)) << "the replugged bridge's timer was raised";
    std::filesystem::remove_all(folder);
    g_object_unref(bed);
}
