#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devicelink/BKQuillex.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class ConfigMemory : public ::testing::Test {
  protected:
    void Open(sim::DeviceConfig config, uint32_t flags) {
        t.device.ClosePort();
        port.reset();
        port = std::make_unique<OneSimulatedPort>(config);
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.HardwareFlags = flags;
        t.device.FirmwareVersion = {config.major, config.minor, config.letter};
        port->Device().ClearLog();
        t.trace.Clear();
    }
    sim::VirtualDevice& Sim() { return port->Device(); }
    std::vector<uint8_t> LastRequest() {
        EXPECT_TRUE(Sim().WaitForExchanges(1, 1000));
        return Sim().Exchanges().back().request;
    }

    std::unique_ptr<OneSimulatedPort> port;
    TracedDevice t;
};

constexpr uint32_t kQuillexUsb = 0x8485;

}  // namespace

TEST_F(ConfigMemory, CurrentFormReadIsByteExact) {
    Open({}, kQuillexUsb);
    uint8_t letter = 0;
    ASSERT_EQ(QX_S_OK, t.device.ReadEEPROM(&letter, 0x0001, 1));
    EXPECT_EQ('Q', letter);
    std::vector<sim::Exchange> log = Sim().Exchanges();
    ASSERT_EQ(1u, log.size());
    EXPECT_THAT(log[0].request, ElementsAre(0x48, 0x52, 0x01, 0x00, 0x01, 0x9C));
    EXPECT_THAT(log[0].reply, ElementsAre('Q', 'Q')) << "one data byte and its checksum";
    EXPECT_EQ("BKQuillex: ReadEEPROM requested, 1 bytes from address 1", t.Lines().front());
    EXPECT_EQ(1, t.device.PortLockFree.load());

    std::vector<uint8_t> block(256);
    ASSERT_EQ(QX_S_OK, t.device.ReadEEPROM(block.data(), 0x0100, 256));
    EXPECT_THAT(LastRequest(), ElementsAre('H', 'R', 0x00, 0x01, 0x00, 0x9B)) << "256 travels as 0";
    std::vector<uint8_t> memory = Sim().State().configMemory;
    EXPECT_THAT(block, ElementsAreArray(memory.begin() + 0x100, memory.begin() + 0x200));
}

TEST_F(ConfigMemory, OlderFormReadCarriesZeroPadding) {
    Open({1, 2, '2'}, 0x8022);
    uint8_t data[2] = {1, 1};
    ASSERT_EQ(QX_S_OK, t.device.ReadEEPROM(data, 0x1234, 2));
    EXPECT_THAT(LastRequest(), ElementsAre(0x45, 0x02, 0x12, 0x34, 0x00, 0x00, 0x8D));
    EXPECT_THAT(data, ElementsAre(0xFF, 0xFF));
}

TEST_F(ConfigMemory, ReadFailures) {
    Open({}, kQuillexUsb);
    uint8_t data[4];
    t.device.HardwareFlags = 0x8404;  // older form, which a Quillex refuses
    EXPECT_EQ(QX_E_UNKNOWN_COMMAND, t.device.ReadEEPROM(data, 1, 1));
    t.device.HardwareFlags = kQuillexUsb;

    Sim().InjectFault("HR", {sim::FaultKind::BadChecksum, 0, 0, 1});
    t.trace.Clear();
    EXPECT_EQ(QX_E_EXTERNAL_CS_INVALID, t.device.ReadEEPROM(data, 1, 1));
    EXPECT_EQ(
        "BKQuillex: ReadEEPROM: Invalid external data checksum\r\n\tCS of recvd data: 51\r\n\tCS "
        "from device: 52",
        t.trace.Text().substr(t.trace.Text().find("BKQuillex: ReadEEPROM: Invalid")));

    Sim().InjectFault("HR", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT, t.device.ReadEEPROM(data, 1, 4));

    Sim().InjectFault("HR", {sim::FaultKind::Disconnect});
    EXPECT_EQ(QX_E_COMM_READ_FAILURE, t.device.ReadEEPROM(data, 1, 1));
    EXPECT_EQ(1, t.device.PortLockFree.load()) << "released on every path";
}

TEST_F(ConfigMemory, DataThatStartsWithAQuestionMarkIsData) {
    Open({}, kQuillexUsb);
    const uint8_t stored[2] = {0x3F, 0x41};
    ASSERT_EQ(QX_S_OK, t.device.WriteEEPROM(stored, 0x0040, 2));
    for (uint16_t size : {1, 2}) {
        uint8_t data[2] = {};
        EXPECT_EQ(QX_S_OK, t.device.ReadEEPROM(data, 0x0040, size)) << size;
        EXPECT_EQ(0x3F, data[0]) << size;
    }
    // A lone '?' with nothing after it is the refusal, at any size.
    Sim().InjectFault("HR", {sim::FaultKind::CutShort, 0, 0, 1});
    uint8_t one[1] = {};
    EXPECT_EQ(QX_E_UNKNOWN_COMMAND, t.device.ReadEEPROM(one, 0x0040, 1))
        << "'?' and no checksum after it";
}

TEST_F(ConfigMemory, WritesInBothFormsAndTheirReplies) {
    Open({}, kQuillexUsb);
    const uint8_t data[3] = {0xA1, 0xB2, 0xC3};
    ASSERT_EQ(QX_S_OK, t.device.WriteEEPROM(data, 0x0020, 3));
    EXPECT_THAT(LastRequest(),
                ElementsAre('H', 'W', 3, 0x00, 0x20, 0xA1, 0xB2, 0xC3,
                            static_cast<uint8_t>('H' + 'W' + 3 + 0x20 + 0xA1 + 0xB2 + 0xC3)));
    EXPECT_EQ(0xB2, Sim().State().configMemory[0x21]);
    EXPECT_EQ("BKQuillex: WriteEEPROM requested, 3 bytes to address 20", t.Lines().front());

    Sim().InjectFault("HW", {sim::FaultKind::WrongByte, '?', 0, 1});
    EXPECT_EQ(QX_E_GENERAL_ERROR, t.device.WriteEEPROM(data, 0x0020, 3));
    Sim().InjectFault("HW", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_EQ(QX_E_GENERAL_ERROR, t.device.WriteEEPROM(data, 0x0020, 3));

    Open({1, 0, 'K'}, 0x9800);
    ASSERT_EQ(QX_S_OK, t.device.WriteEEPROM(data, 0x0102, 1));
    EXPECT_THAT(LastRequest(), ElementsAre('e', 1, 0x01, 0x02, 0xA1,
                                           static_cast<uint8_t>('e' + 1 + 1 + 2 + 0xA1)));
}

TEST_F(ConfigMemory, PreconditionsComeBeforeTheLock) {
    TracedDevice closed;
    uint8_t data[2];
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, closed.device.ReadEEPROM(data, 1, 1));
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, closed.device.WriteEEPROM(data, 1, 1));
    EXPECT_TRUE(closed.Lines().empty());

    Open({}, kQuillexUsb);
    ASSERT_EQ(QX_S_OK, t.device.LockPort(0));
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.ReadEEPROM(nullptr, 1, 1));
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.ReadEEPROM(data, 1, 0));
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.WriteEEPROM(data, 1, 257));
    EXPECT_EQ(0, t.device.PortLockFree.load()) << "the lock was not touched";
    t.device.UnlockPort();
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

TEST(CheckFirmwareLevel, RowsAndMajorNumbers) {
    FirmwareVersion v{2, 12, 'Q'};
    EXPECT_TRUE(CheckFirmwareLevel(4, &v));
    v.Minor = 11;
    EXPECT_FALSE(CheckFirmwareLevel(4, &v));
    v = {1, 99, 'Q'};
    EXPECT_FALSE(CheckFirmwareLevel(4, &v)) << "an older line release";
    v = {3, 0, 'Q'};
    EXPECT_TRUE(CheckFirmwareLevel(4, &v)) << "a newer line release";
    v = {11, 0, 'L'};
    EXPECT_TRUE(CheckFirmwareLevel(5, &v));
    v = {10, 11, 'L'};
    EXPECT_FALSE(CheckFirmwareLevel(5, &v));
    v = {10, 5, 'L'};
    EXPECT_TRUE(CheckFirmwareLevel(1, &v));
    EXPECT_TRUE(CheckFirmwareLevel(2, &v));
    v = {2, 7, 'x'};
    EXPECT_TRUE(CheckFirmwareLevel(3, &v)) << "the letter takes no part";
    EXPECT_FALSE(CheckFirmwareLevel(0, &v));
    EXPECT_FALSE(CheckFirmwareLevel(6, &v));
    EXPECT_FALSE(CheckFirmwareLevel(1, nullptr));
}
