#include "sim/Bridge.h"

#include <gtest/gtest.h>

#include <string>

#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"
#include "sim/VirtualDevice.h"

TEST(Bridge, OptionsParseAndComposeOrSayWhatIsWrong) {
    struct Case {
        const char* text;
        bool ok;
        bool timer = false;
        int timerMs = 16;
        bool cdc = false;
        size_t rates = 0;
        int roundTripMs = 0;
    };
    for (const Case& c :
         {Case{"pty", true, false, 16, false, 0, 0}, Case{"latency", true, true, 16, false, 0, 0},
          Case{"latency:1", true, true, 1, false, 0, 0}, Case{"cdc", true, false, 16, true, 0, 0},
          Case{"rfcomm", true, false, 16, false, 0, 30},
          Case{"rfcomm:120", true, false, 16, false, 0, 120},
          Case{"latency:16,rates:115200/230400/460800", true, true, 16, false, 3, 0},
          Case{"latency:0", false, false, 16, false, 0, 0},
          Case{"latency:256", false, false, 16, false, 0, 0},
          Case{"latency:x", false, false, 16, false, 0, 0},
          Case{"rates:", false, false, 16, false, 0, 0},
          Case{"rates:115200/fast", false, false, 16, false, 0, 0},
          Case{"cdc:1", false, false, 16, false, 0, 0}, Case{"usb", false, false, 16, false, 0, 0},
          Case{"rfcomm:-5", false, false, 16, false, 0, 0}}) {
        sim::BridgeModel model;
        std::string error;
        ASSERT_EQ(c.ok, sim::ParseBridge(c.text, &model, &error)) << c.text << ": " << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(c.timer, model.latencyTimer) << c.text;
        EXPECT_EQ(c.timerMs, model.latencyMs) << c.text;
        EXPECT_EQ(c.cdc, model.cdc) << c.text;
        EXPECT_EQ(c.rates, model.rates.size()) << c.text;
        EXPECT_EQ(c.roundTripMs, model.roundTripMs) << c.text;
        EXPECT_EQ(std::string(c.text) == "pty", model.IsPlain()) << c.text;
    }
}

// A bridge that cannot make a rate garbles every byte at it, both ways: the
// device is found at 115200 and is unreachable once both ends went to 921600.
TEST(Bridge, ARateTheBridgeCannotMakeGarblesTheLine) {
    sim::DeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim::ParseBridge("rates:115200/460800", &config.bridge, &error)) << error;
    sim::VirtualDevice device(config);
    ASSERT_TRUE(device.Start());
    platform::PortTable::SetOverride({device.PortPath()});
    BKQuillex q;
    ASSERT_NE(0u, q.DetectHardwareOnPort(1, nullptr, 0, nullptr));
    EXPECT_EQ(QX_S_OK, q.SetUSBBaud(kBaudCode460800, 0));
    EXPECT_EQ(QX_S_OK, q.RequestFirmwareVersion(nullptr)) << "460800 is made";
    EXPECT_EQ(QX_S_OK, q.SetUSBBaud(kBaudCode921600, 0)) << "asked at 460800";
    EXPECT_NE(QX_S_OK, q.RequestFirmwareVersion(nullptr)) << "921600 is not";
    q.ClosePort();
    platform::PortTable::ClearOverride();
}
