#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devicelink/BKQuillex.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;

namespace {

constexpr uint32_t kTessalyUsb = 0x8091;

class Banks : public ::testing::Test {
  protected:
    Banks() : port(sim::DeviceConfig{10, 5, 'L'}) {}
    void SetUp() override {
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.HardwareFlags = kTessalyUsb;
        t.device.FirmwareVersion = {10, 5, 'L'};
        port.Device().ClearLog();
        t.trace.Clear();
    }
    std::vector<uint8_t> LastRequest() {
        EXPECT_TRUE(port.Device().WaitForExchanges(1, 1000));
        return port.Device().Exchanges().back().request;
    }

    OneSimulatedPort port;
    TracedDevice t;
};

}  // namespace

TEST_F(Banks, SetBankRequestsAndStoredNumbers) {
    ASSERT_EQ(QX_S_OK, t.device.SetBank(3, 1, 0, 0));
    EXPECT_THAT(LastRequest(), ElementsAre('B', 'R', 0x03, 0x97));
    EXPECT_EQ(3, t.device.ReadWriteBank);
    EXPECT_EQ(3, port.Device().State().readWriteBank);
    EXPECT_EQ("BKQuillex: Set R/W Bank Succeeded: Bank 3", t.Lines().back());

    port.Device().ClearLog();
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.SetBank(8, 1, 0, 0));
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());

    ASSERT_EQ(QX_S_OK, t.device.SetBank(8, 0, 0, 0));
    EXPECT_THAT(LastRequest(), ElementsAre('B', 'E', 0x08, 0x8F));
    EXPECT_EQ(8, t.device.EmulationBank);
    EXPECT_EQ(0x7FF00, t.device.GetMemoryRemaining(0x100)) << "large-bin mode";

    ASSERT_EQ(QX_S_OK, t.device.SetBank(2, 0, 1, 0));
    EXPECT_THAT(LastRequest(), ElementsAre('B', 'S', 0x02, 0x97));
    EXPECT_EQ(2, t.device.EmulationBank) << "the static bank is kept as the emulation bank";
    EXPECT_EQ("BKQuillex: Set Static Emulation Bank Succeeded: Bank 2", t.Lines().back());

    port.Device().InjectFault("B", {sim::FaultKind::WrongByte, '?', 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.SetBank(5, 1, 0, 0));
    EXPECT_EQ(3, t.device.ReadWriteBank);
    EXPECT_EQ("BKQuillex: Set R/W Bank Failed!", t.Lines().back());
}

TEST_F(Banks, SetBankNeedsTessalyFirmware1005) {
    t.device.FirmwareVersion = {10, 4, 'L'};
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.SetBank(1, 1, 0, 0));
    t.device.FirmwareVersion = {10, 5, 'L'};
    t.device.HardwareFlags = 0x8485;  // a Quillex
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.SetBank(1, 1, 0, 0));
    EXPECT_TRUE(t.Lines().empty());
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());
}

TEST_F(Banks, GetBankRequestsAndReplies) {
    ASSERT_EQ(QX_S_OK, t.device.SetBank(8, 0, 1, 0));
    t.device.EmulationBank = 0;
    int32_t bank = -1;
    ASSERT_EQ(QX_S_OK, t.device.GetBank(&bank, 0, 1, 0));
    EXPECT_THAT(LastRequest(), ElementsAre('B', 'E', 'S', 0xDA));
    EXPECT_EQ(8, bank);
    EXPECT_EQ(8, t.device.EmulationBank);
    EXPECT_EQ("BKQuillex: Get Static Emulation Bank Succeeded: Bank 8", t.Lines().back());

    port.Device().InjectFault("B", {sim::FaultKind::WrongByte, '?', 0, 1});
    bank = -1;
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.GetBank(&bank, 0, 0, 0));
    EXPECT_EQ(8, t.device.EmulationBank);
    EXPECT_EQ(-1, bank);
    EXPECT_EQ("BKQuillex: Get Active Emulation Bank Failed!", t.Lines().back());

    ASSERT_EQ(QX_S_OK, t.device.GetBank(nullptr, 1, 1, 0));
    EXPECT_THAT(LastRequest(), ElementsAre('B', 'R', 'R', 0xE6)) << "read/write wins";
    EXPECT_EQ("BKQuillex: Get R/W Bank Succeeded: Bank 0", t.Lines().back());

    t.device.HardwareFlags = 0x8404;
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.GetBank(&bank, 1, 0, 0));
}

TEST_F(Banks, LockFlagMeansTheCallerHoldsTheLock) {
    ASSERT_EQ(QX_S_OK, t.device.LockPort(0));
    EXPECT_EQ(QX_S_OK, t.device.GetBank(nullptr, 1, 0, kCallerHoldsLock));
    EXPECT_EQ(QX_S_OK, t.device.SetBank(4, 1, 0, kCallerHoldsLock | 0x10));
    EXPECT_EQ(0, t.device.PortLockFree.load()) << "not released by the bank commands";
    t.device.UnlockPort();

    ASSERT_EQ(QX_S_OK, t.device.LockPort(0));
    std::thread other([this] { EXPECT_EQ(QX_E_PORT_BUSY, t.device.GetBank(nullptr, 1, 0, 0)); });
    other.join();
    EXPECT_EQ(0, t.device.PortLockFree.load());
    t.device.UnlockPort();
}

TEST(BanksClosedPort, FailAsForAMissingReply) {
    TracedDevice t;
    t.device.HardwareFlags = 0x8091;
    t.device.FirmwareVersion = {10, 5, 'L'};
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.GetBank(nullptr, 1, 0, 0));
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.SetBank(1, 1, 0, 0));
    EXPECT_EQ(1, t.device.PortLockFree.load());
}
