#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "devicelink/BKQuillex.h"
#include "devicelink/StatusTasks.h"
#include "platform/Thread.h"
#include "tests/support/Fakes.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

constexpr uint32_t kDunmarraUsb = 0x2081;
constexpr uint32_t kQuillexUsb = 0x8485;

sim::DeviceConfig Dunmarra() {
    sim::DeviceConfig config;
    config.major = 3;
    config.minor = 2;
    config.letter = 'D';
    config.serialNumber = {0x77, 1, 1, 1, 1, 1, 1, 1, 1};
    return config;
}

class OpenDevice : public ::testing::Test {
  protected:
    explicit OpenDevice(sim::DeviceConfig config = {}, uint32_t flags = kQuillexUsb)
        : port(config), flags_(flags) {}
    void SetUp() override {
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.HardwareFlags = flags_;
        port.Device().ClearLog();
        t.trace.Clear();
    }
    std::vector<std::vector<uint8_t>> Requests() { return RequestsOf(port.Device()); }
    uint32_t ReadTimeout() { return ReadTimeoutOf(t.device); }

    OneSimulatedPort port;
    TracedDevice t;

  private:
    uint32_t flags_;
};

class DunmarraIdentity : public OpenDevice {
  protected:
    DunmarraIdentity() : OpenDevice(Dunmarra(), kDunmarraUsb) {}
};

class StatusCommands : public OpenDevice {};

}  // namespace

TEST_F(DunmarraIdentity, SerialNumberAndItsFailures) {
    uint8_t serial[9] = {};
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.GetSerialNumber(serial, 8));
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.GetSerialNumber(nullptr, 9));
    t.device.HardwareFlags = kQuillexUsb;
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.GetSerialNumber(serial, 9));
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());
    EXPECT_TRUE(t.Lines().empty());

    t.device.HardwareFlags = kDunmarraUsb;
    ASSERT_EQ(QX_S_OK, t.device.GetSerialNumber(serial, 9));
    EXPECT_THAT(serial, ElementsAre(0x77, 1, 1, 1, 1, 1, 1, 1, 1));
    EXPECT_THAT(Requests(), ElementsAre(ElementsAre(0x4E, 0x53, 0xA1)));
    EXPECT_EQ("DunMarra: Serial requested", t.Lines().front());
    EXPECT_EQ(600u, ReadTimeout()) << "left for the next command";
    EXPECT_EQ(1, t.device.PortLockFree.load());

    port.Device().InjectFault("NS", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT, t.device.GetSerialNumber(serial, 9));
    EXPECT_EQ("Dunmarra serial request timed out", t.Lines().back());
}

TEST_F(DunmarraIdentity, VendorWriteCarriesSerialBytesOneToEight) {
    ASSERT_EQ(QX_S_OK, t.device.SetVendorID(0x05));
    ASSERT_EQ(2u, Requests().size());
    EXPECT_THAT(Requests()[1], ElementsAre(0x4E, 0x05, 1, 1, 1, 1, 1, 1, 1, 1, 0x5B));
    EXPECT_EQ(0x05, port.Device().State().vendorId);
    EXPECT_EQ(300u, ReadTimeout());
    EXPECT_TRUE(t.HasLine("DunMarra: Setting Vendor ID"));

    port.Device().InjectFault("NV", {sim::FaultKind::WrongByte, 'X', 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.SetVendorID(0x06));
    EXPECT_EQ(20000u, ReadTimeout()) << "a refused write leaves the long time-out";

    port.Device().ClearLog();
    port.Device().InjectFault("NS", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.SetVendorID(0x07));
    EXPECT_EQ(1u, Requests().size()) << "no vendor write without the serial number";
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(StatusCommands, QueryStatusReadsOkOrBusyAndNothingElse) {
    EXPECT_EQ(0, t.device.QueryStatus());
    EXPECT_THAT(Requests(), ElementsAre(ElementsAre('S', 'S')));
    sim::DeviceConfig busy = port.Device().Config();
    busy.busy = true;
    port.Device().SetConfig(busy);
    EXPECT_EQ(1, t.device.QueryStatus());
    EXPECT_EQ(115200u, port.Device().CurrentBaud()) << "\"SS\" is no link-rate change";

    port.Device().InjectFault("SS", {sim::FaultKind::CutShort, 0, 0, 1});
    EXPECT_EQ(-1, t.device.QueryStatus()) << "one 'B' only";
    port.Device().InjectFault("SS", {sim::FaultKind::WrongByte, 'O', 0, 1});
    EXPECT_EQ(-1, t.device.QueryStatus()) << "'O' 'B'";

    {
        PortLockHolder holder(t.device);
        EXPECT_EQ(QX_E_PORT_BUSY, t.device.QueryStatus());
    }
    t.device.ClosePort();
    platform::SetThreadLastError(0);
    EXPECT_EQ(-1, t.device.QueryStatus());
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, platform::ThreadLastError());
}

TEST_F(StatusCommands, StatusWordsAreHighByteFirstAndRefusalsAreInvalid) {
    uint16_t last = 0, middle = 0, first = 0;
    ASSERT_EQ(QX_S_OK, t.device.ReadStatusWords(&last, &middle, &first));
    EXPECT_THAT(Requests(), ElementsAre(ElementsAre('C', 'C')));
    EXPECT_EQ(0x0102, first);
    EXPECT_EQ(0x0304, middle);
    EXPECT_EQ(0x0506, last);

    // Six bytes are the words even when the first is 0x3F ('?'); a refusal
    // is a '?' alone, short of a reply.
    port.Device().InjectFault("CC", {sim::FaultKind::WrongByte, '?', 0, 1});
    EXPECT_EQ(QX_S_OK, t.device.ReadStatusWords(&last, &middle, &first));
    EXPECT_EQ(0x3F02, first);
    port.Device().InjectFault("CC", {sim::FaultKind::CutShort, 0, 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.ReadStatusWords(&last, &middle, &first));
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.ReadStatusWords(nullptr, &middle, &first));

    t.device.HardwareFlags = 0x0086;  // an older family
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.ReadStatusWords(&last, &middle, &first));
    t.device.HardwareFlags = kQuillexUsb;
    port.Device().Disconnect();
    EXPECT_THAT(t.device.ReadStatusWords(&last, &middle, &first),
                ::testing::AnyOf(QX_E_COMM_WRITE_FAILURE, QX_E_COMM_READ_FAILURE));
    t.device.ClosePort();
    t.device.HardwareFlags = kQuillexUsb;
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.ReadStatusWords(&last, &middle, &first));
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(StatusCommands, RawTransfersUnderTheLock) {
    int moved = 99;
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.SendRaw("x", 0, 1, &moved));
    EXPECT_EQ(0, moved);
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.ReadRaw(nullptr, 4, 1, &moved));
    EXPECT_EQ(1, t.device.PortLockFree.load());
    EXPECT_TRUE(t.Lines().empty());

    // A version request sent raw, and its answer read raw.
    ASSERT_EQ(QX_S_OK, t.device.SendRaw("VV", 2, 1, &moved));
    EXPECT_EQ(2, moved);
    ASSERT_TRUE(port.Device().WaitForExchanges(1, 1000));
    uint8_t reply[8] = {};
    moved = 99;
    ASSERT_EQ(QX_S_OK, t.device.ReadRaw(reply, 8, 0, &moved));
    EXPECT_EQ(3, moved) << "what came before the time-out";
    EXPECT_THAT(std::vector<uint8_t>(reply, reply + 3), ElementsAre(2, 11, 'Q'));
    EXPECT_EQ("BKQuillex: Sending data to port...", t.Lines().front());

    {
        PortLockHolder holder(t.device);
        moved = 99;
        EXPECT_EQ(QX_E_PORT_BUSY, t.device.SendRaw("VV", 2, 1, &moved));
        EXPECT_EQ(0, moved);
        EXPECT_EQ(QX_E_PORT_BUSY, t.device.ReadRaw(reply, 2, 1, &moved));
    }
    t.device.ClosePort();
    moved = 99;
    EXPECT_EQ(QX_E_COMM_WRITE_FAILURE, t.device.SendRaw("VV", 2, 1, &moved));
    EXPECT_EQ(0, moved);
    moved = 99;
    EXPECT_EQ(QX_E_COMM_WRITE_FAILURE, t.device.ReadRaw(reply, 2, 1, &moved))
        << "a failed read has the write's code";
    EXPECT_EQ(99, moved) << "not written on failure";
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(StatusCommands, StatusPollConcurrency) {
    uint16_t last = 0, middle = 0, first = 0;
    BlockingMessageWindow window;
    std::atomic<int32_t> keepRunning{0};
    StatusPollTask task{&t.device, &last, &middle, &first, &window, 0x8123, &keepRunning};
    EXPECT_EQ(1, StatusPollThreadProc(&task)) << "a cleared flag: no poll at all";
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());

    keepRunning = 1;
    std::atomic<int> exitCode{-1};
    std::thread worker([&] { exitCode = StatusPollThreadProc(&task); });
    ASSERT_TRUE(window.WaitForMessage(1, 2000));
    // The worker waits in the send until the window has handled it.
    EXPECT_EQ(0x0102, first);
    keepRunning = 0;
    window.Release();
    worker.join();
    EXPECT_EQ(1, exitCode.load());
    ASSERT_EQ(1u, window.Messages().size());
    EXPECT_EQ(0x8123u, window.Messages()[0].message);
    EXPECT_EQ(QX_S_OK, window.Messages()[0].lParam);
    EXPECT_EQ(1, port.Device().State().statusPolls);
}
