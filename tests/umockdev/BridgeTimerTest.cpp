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

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "devicelink/BKQuillex.h"
#include "package/PackageBuilder.h"
#include "platform/BridgeLatency.h"
#include "platform/Environment.h"
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
        const Package package =
            PackageFromBytes(BuildPackage(MakeFirmwarePayload(2999, 2, 12, 'Q'), 2, 12, 'Q'));
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
