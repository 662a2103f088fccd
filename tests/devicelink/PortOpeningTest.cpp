#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devicelink/BKQuillex.h"
#include "sim/DeviceLines.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

constexpr uint32_t kIdentifiedQuillex = kHwQuillex | kHwCurrentCommandFamily;

class PortOpening : public ::testing::Test {
  protected:
    PortOpening() : port(sim::DeviceConfig{}) {}

    void OpenAndIdentify() {
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        // Stands in for a detection that found the current command family.
        t.device.HardwareFlags = kIdentifiedQuillex;
        t.trace.Clear();
    }

    // Asks the device for its version over the raw path; true when it answers.
    bool DeviceAnswers() {
        if (t.device.LockPort(kPortLockWaitMs) != QX_S_OK)
            return false;
        const uint8_t vv[2] = {'V', 'V'};
        uint8_t reply[3] = {};
        bool ok = t.device.WritePort(vv, 2) == 2 && t.device.ReadPort(reply, 3) == 3;
        t.device.UnlockPort();
        return ok && reply[0] == 2 && reply[1] == 11 && reply[2] == 'Q';
    }

    uint32_t PortBaud() {
        platform::LineState state;
        return t.device.PortHandle && t.device.PortHandle->GetState(&state) ? state.BaudRate : 0;
    }

    OneSimulatedPort port;
    TracedDevice t;
};

}  // namespace

TEST(InitPort, OpensTheNamedPortWithTheLineSettings) {
    auto empty1 = sim::CreateDeviceLine();
    auto empty2 = sim::CreateDeviceLine();
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    ScopedPortTable table({empty1->HostPath(), empty2->HostPath(), device.PortPath()});
    TracedDevice t;

    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(QX_S_OK, t.device.InitPort("COM3", 115200));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100))
        << "settling pause";
    EXPECT_EQ(1, t.device.PortOpen);
    EXPECT_EQ(3, t.device.ComPortNumber);
    EXPECT_THAT(t.Lines(), ElementsAre("BKQuillex: COM3 Successfully initialized at 115200 baud."));

    platform::Timeouts timeouts;
    ASSERT_TRUE(t.device.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(200u, timeouts.ReadIntervalTimeout);
    EXPECT_EQ(1u, timeouts.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(300u, timeouts.ReadTotalTimeoutConstant);
    EXPECT_EQ(0u, timeouts.WriteTotalTimeoutMultiplier);
    EXPECT_EQ(300u, timeouts.WriteTotalTimeoutConstant);
    EXPECT_EQ(1024u, t.device.PortHandle->InQueueSize());
    platform::LineState state;
    ASSERT_TRUE(t.device.PortHandle->GetState(&state));
    EXPECT_EQ(115200u, state.BaudRate);
    EXPECT_EQ(8, state.ByteSize);
    EXPECT_EQ(platform::kNoParity, state.Parity);
    EXPECT_FALSE(state.OutxCtsFlow);
    EXPECT_EQ(platform::LineControl::Enable, state.DtrControl);

    // A path works too, and is numbered by its place in the table.
    t.trace.Clear();
    ASSERT_EQ(QX_S_OK, t.device.InitPort(device.PortPath().c_str(), 115200));
    EXPECT_EQ(3, t.device.ComPortNumber);
    EXPECT_EQ("BKQuillex: COM Port closed.", t.Lines().front()) << "the open port is closed first";
}

TEST(InitPort, FailuresLeaveThePortClosedWithTheirLine) {
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    ScopedPortTable table({device.PortPath()});
    TracedDevice t;

    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.InitPort("COM9", 115200));
    EXPECT_EQ(0, t.device.PortOpen);
    EXPECT_EQ(255, t.device.ComPortNumber);
    EXPECT_TRUE(t.HasLine("BKQuillex: COM9 init failed with error QX_E_PORT_NOT_INITIALIZED."));
    EXPECT_EQ(platform::OpenError::NotFound, t.device.LastOpenError());

    BKQuillex holder;
    ASSERT_EQ(QX_S_OK, holder.InitPort("COM1", 115200));
    t.trace.Clear();
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.InitPort("COM1", 115200));
    EXPECT_EQ(platform::OpenError::Busy, t.device.LastOpenError());
    EXPECT_TRUE(t.HasLine("BKQuillex: COM1 init failed with error QX_E_PORT_NOT_INITIALIZED."));

    // A rate the port cannot take fails after the open; the handle stays
    // recorded until ClosePort.
    holder.ClosePort();
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.InitPort("COM1", 12345));
    EXPECT_EQ(0, t.device.PortOpen);
    EXPECT_TRUE(t.device.PortHandle);
    t.device.ClosePort();
    EXPECT_FALSE(t.device.PortHandle);
    EXPECT_EQ(QX_S_OK, holder.InitPort("COM1", 115200)) << "the port was really released";
}

TEST_F(PortOpening, LinkRateChangeIsByteExactAndTraced) {
    OpenAndIdentify();
    port.Device().ClearLog();

    ASSERT_EQ(QX_S_OK, t.device.SetUSBBaud(3, 0));
    std::vector<sim::Exchange> exchanges = port.Device().Exchanges();
    ASSERT_EQ(1u, exchanges.size());
    EXPECT_THAT(exchanges[0].request, ElementsAre(0x53, 0x03, 0x56));
    EXPECT_THAT(exchanges[0].reply, ElementsAre('O'));
    EXPECT_EQ(3u, t.device.UsbBaudCode);
    EXPECT_EQ(230400u, port.Device().CurrentBaud());
    EXPECT_EQ(230400u, PortBaud());
    const std::string pad45(45, ' ');
    EXPECT_THAT(t.Lines(),
                ElementsAre("BKQuillex: Comm Read Timeout Set To 110 ms", "Write Port",
                            "0000: 53 03 56 " + std::string(39, ' ') + "S.V", "Read Port",
                            "0000: 4F " + pad45 + "O", "BKQuillex: Current port Baud set to 230400",
                            "BKQuillex: Comm Read Timeout Set To 300 ms",
                            "BKQuillex: SetUSBBaud to 230400, Force = FALSE SUCCEEDED"));
    EXPECT_EQ(1, t.device.PortLockFree.load()) << "released";
    EXPECT_TRUE(DeviceAnswers()) << "both ends agree on the new rate";
}

TEST_F(PortOpening, ClosePortReturnsTheDeviceTo115200) {
    OpenAndIdentify();
    ASSERT_EQ(QX_S_OK, t.device.SetUSBBaud(0, 0));
    ASSERT_EQ(921600u, port.Device().CurrentBaud());
    port.Device().ClearLog();

    t.device.ClosePort();
    std::vector<sim::Exchange> exchanges = port.Device().Exchanges();
    ASSERT_EQ(1u, exchanges.size());
    EXPECT_THAT(exchanges[0].request, ElementsAre(0x53, 0x07, 0x5A));
    EXPECT_EQ(115200u, port.Device().CurrentBaud());
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(0, t.device.PortOpen);
    EXPECT_EQ(0u, t.device.HardwareFlags);
    EXPECT_EQ(255, t.device.ComPortNumber);
    EXPECT_EQ("BKQuillex: COM Port closed.", t.Lines().back());

    // At code 7 closing sends nothing.
    OpenAndIdentify();
    port.Device().ClearLog();
    t.device.ClosePort();
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());
    ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
    EXPECT_TRUE(DeviceAnswers());
}

TEST_F(PortOpening, ArgumentAndHardwareChecksComeFirst) {
    OpenAndIdentify();
    port.Device().ClearLog();
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.SetUSBBaud(2, 1));
    EXPECT_EQ("BKQuillex: SetUSBBaud to 115200, Force = TRUE FAILED with QX_E_INVALID_FUNC_PARAM",
              t.Lines().back())
        << "reports the current rate";

    t.device.HardwareFlags = kHwQuillex;  // an older command family
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.SetUSBBaud(0, 1));
    EXPECT_EQ(
        "BKQuillex: SetUSBBaud to 115200, Force = TRUE FAILED with QX_E_REQUEST_NOT_SUPPORTED",
        t.Lines().back());
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());
    EXPECT_EQ(7u, t.device.UsbBaudCode);
}

TEST_F(PortOpening, BeforeIdentificationOnlyTheHostSideMoves) {
    ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
    port.Device().ClearLog();
    EXPECT_EQ(QX_S_OK, t.device.SetUSBBaud(0, 0));
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(115200u, PortBaud());

    EXPECT_EQ(QX_S_OK, t.device.SetUSBBaud(0, 1));
    EXPECT_EQ(0u, t.device.UsbBaudCode);
    EXPECT_EQ(921600u, PortBaud());
    EXPECT_TRUE(port.Device().ReceivedBytes().empty()) << "no byte exchanged";
    EXPECT_EQ(1, t.device.PortLockFree.load());
    EXPECT_FALSE(DeviceAnswers()) << "the device still listens at 115200";
}

TEST_F(PortOpening, RefusedOrMissingReplies) {
    OpenAndIdentify();
    port.Device().InjectFault("S", {sim::FaultKind::WrongByte, '?'});
    EXPECT_EQ(QX_S_OK, t.device.SetUSBBaud(0, 1)) << "forced: a refusal is not a failure";
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(115200u, PortBaud());
    EXPECT_EQ(QX_E_GENERAL_ERROR, t.device.SetUSBBaud(0, 0));
    EXPECT_EQ("BKQuillex: SetUSBBaud to 921600, Force = FALSE FAILED with QX_E_GENERAL_ERROR",
              t.Lines().back());

    port.Device().InjectFault("S", {sim::FaultKind::NoReply});
    EXPECT_EQ(QX_E_GENERAL_ERROR, t.device.SetUSBBaud(1, 0)) << "silence after 110 ms";
    EXPECT_EQ(QX_S_OK, t.device.SetUSBBaud(1, 1));
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(115200u, port.Device().CurrentBaud());

    port.Device().ClearFaults();
    EXPECT_EQ(QX_S_OK, t.device.SetUSBBaud(1, 0));
    EXPECT_EQ(460800u, port.Device().CurrentBaud());
}

TEST_F(PortOpening, LostDeviceIsAReadOrWriteFailure) {
    OpenAndIdentify();
    port.Device().InjectFault("S", {sim::FaultKind::Disconnect});
    EXPECT_EQ(QX_E_COMM_READ_FAILURE, t.device.SetUSBBaud(3, 1));
    EXPECT_EQ(1, t.device.PortLockFree.load());
    EXPECT_EQ(QX_E_COMM_WRITE_FAILURE, t.device.SetUSBBaud(3, 1));
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(1, t.device.PortOpen) << "a failed command leaves the port open";
}

TEST_F(PortOpening, BusyPortConcurrency) {
    OpenAndIdentify();
    ASSERT_EQ(QX_S_OK, t.device.SetReadTimeout(6000));  // the holder's own time-out
    PortLockHolder holder(t.device);
    ASSERT_TRUE(holder.Taken());

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QX_E_PORT_BUSY, t.device.SetUSBBaud(3, 0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1150));
    EXPECT_EQ(0, t.device.PortLockFree.load()) << "the lock stays with its holder";
    EXPECT_EQ(QX_E_PORT_BUSY, t.device.LockPort(0)) << "and was not released for it";
    platform::Timeouts timeouts;
    ASSERT_TRUE(t.device.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(6000u, timeouts.ReadTotalTimeoutConstant) << "the holder's time-out is untouched";
    EXPECT_EQ("BKQuillex: SetUSBBaud to 230400, Force = FALSE FAILED with QX_E_PORT_BUSY",
              t.Lines().back());
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());

    holder.Release();
    EXPECT_EQ(QX_S_OK, t.device.SetUSBBaud(3, 0));
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(PortOpening, ARaisedRateThatCarriesNoReplyIsLeftAndADeviceLostThereIsNamed) {
    OpenAndIdentify();
    const FirmwareVersion found = t.device.FirmwareVersion;
    // The version request at 921600 goes unanswered: the host goes back to
    // 115200, where this device (which stayed at 921600) is not heard.
    port.Device().InjectFault("VV", {sim::FaultKind::NoReply});
    std::vector<LinkRateAttempt> tried;
    EXPECT_EQ(QX_E_DEVICE_NOT_FOUND, t.device.RaiseLinkRate(&tried));
    ASSERT_EQ(1u, tried.size());
    EXPECT_EQ(921600, tried[0].rate);
    EXPECT_EQ(RateTrial::Garbled, tried[0].outcome);
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(115200u, PortBaud());
    EXPECT_EQ(found.Major, t.device.FirmwareVersion.Major) << "the version found is kept";
    EXPECT_EQ(found.Letter, t.device.FirmwareVersion.Letter);
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST(InitPort, ABluetoothLinkSaysHowLongItTookAndWhyItFailed) {
    struct Case {
        const char* bridge;
        int result;
        const char* last;  // the line after the opening time
    } cases[] = {
        {"rfcomm:30,connect:60", QX_S_OK, "COM1 Successfully initialized at 115200 baud."},
        {"connect:60,absent", QX_E_PORT_NOT_INITIALIZED, "): no link to the device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bridge);
        sim::DeviceConfig config;
        std::string error;
        ASSERT_TRUE(sim::ParseBridge(c.bridge, &config.bridge, &error)) << error;
        sim::VirtualDevice device(config);
        ASSERT_TRUE(device.Start(sim::DeviceLineKind::Loopback));
        ScopedPortTable table({device.PortPath()});
        TracedDevice t;
        EXPECT_EQ(c.result, t.device.InitPort("COM1", 115200));
        const std::vector<std::string> lines = t.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_THAT(lines[0], ::testing::MatchesRegex("BKQuillex: COM1 \\(@loopback.+\\): "
                                                      "opening took .+ ms"));
        EXPECT_THAT(lines[1], ::testing::HasSubstr(c.last));
        if (c.result != QX_S_OK) {
            EXPECT_EQ(platform::OpenError::NoLink, t.device.LastOpenError());
        }
    }
}
