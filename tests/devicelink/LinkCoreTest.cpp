#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "devicelink/BKQuillex.h"
#include "tests/support/SimulatedPorts.h"

// Each code is named by its own identifier, whatever order the codes and
// the names are kept in; nothing else has a name.
TEST(ResultCodeName, NamesEachCodeByItsIdentifierAndNothingElse) {
#define BK_NAMED(code) std::pair<int, std::string>(code, #code)
    const std::pair<int, std::string> codes[] = {
        BK_NAMED(QX_S_OK),
        BK_NAMED(QX_E_GENERAL_ERROR),
        BK_NAMED(QX_E_PORT_NOT_INITIALIZED),
        BK_NAMED(QX_E_REQUEST_NOT_SUPPORTED),
        BK_NAMED(QX_E_COMM_WRITE_FAILURE),
        BK_NAMED(QX_E_COMM_READ_FAILURE),
        BK_NAMED(QX_E_DEVICE_NOT_FOUND),
        BK_NAMED(QX_E_INVALID_RESPONSE),
        BK_NAMED(QX_E_UNKNOWN_COMMAND),
        BK_NAMED(QX_E_BAD_CHECKSUM),
        BK_NAMED(QX_E_ALT_WRITE_BAD_CHECKSUM),
        BK_NAMED(QX_E_EXTERNAL_CS_INVALID),
        BK_NAMED(QX_E_NVRAM_BUFFERING_FAILED),
        BK_NAMED(QX_E_INTERNAL_CS_INVALID),
        BK_NAMED(QX_E_INVALID_FIRMWARE_IMAGE),
        BK_NAMED(QX_E_FIRMWARE_FLASH_FAILED),
        BK_NAMED(QX_E_THREAD_TIMEOUT),
        BK_NAMED(QX_E_COMM_READ_TIMEOUT),
        BK_NAMED(QX_E_INVALID_FUNC_PARAM),
        BK_NAMED(QX_E_OPERATION_CANCELED),
        BK_NAMED(QX_E_PORT_BUSY),
        BK_NAMED(QX_E_INVALID_VERSION),
        BK_NAMED(QX_E_INVALID_HARDWARE_ID),
        BK_NAMED(QX_E_LARGE_BIN_BANK_FAILED),
    };
#undef BK_NAMED
    std::set<int> named;
    for (const auto& [code, name] : codes) {
        EXPECT_EQ(name, ResultCodeName(code));
        named.insert(code);
    }
    for (int code = -100; code <= 100; ++code) {
        if (!named.count(code)) {
            EXPECT_STREQ("(ERROR NOT IN LIST)", ResultCodeName(code)) << code;
        }
    }
}

TEST(Checksums, AdditiveSumsWrapAndHandleEmptyInput) {
    const uint8_t a[] = {0xFF, 0x02};
    EXPECT_EQ(0x01, BKQuillex::Checksum8(a, 2));
    EXPECT_EQ(0, BKQuillex::Checksum8(a, 0));
    EXPECT_EQ(0, BKQuillex::Checksum8(a, -3));
    const uint8_t b[] = {0xFF, 0xFF};
    EXPECT_EQ(0x01FE, Checksum16(b, 2));
    EXPECT_EQ(0, Checksum16(b, 0));
    std::vector<uint8_t> many(300, 0xFF);
    EXPECT_EQ((300 * 0xFF) & 0xFFFF, Checksum16(many.data(), 300));
    EXPECT_EQ(0x5A, ChecksumAdd8(0x5A, nullptr, 3));
    EXPECT_EQ(0x5A, ChecksumAdd8(0x5A, a, 0));
    EXPECT_EQ(0x5B, ChecksumAdd8(0x5A, a, 2));
}

TEST(BKQuillex, ConstructedState) {
    BKQuillex q;
    EXPECT_EQ(0, q.PortOpen);
    EXPECT_FALSE(q.PortHandle);
    EXPECT_EQ(7u, q.UsbBaudCode);
    EXPECT_EQ(255, q.ComPortNumber);
    EXPECT_EQ(0u, q.HardwareFlags);
    EXPECT_EQ(7u, q.LastBaudCode);
    EXPECT_EQ(1, q.PortLockFree.load());
    EXPECT_EQ(0, q.GetFirmwareVersion(nullptr));
    FirmwareVersion v{9, 9, 'x'};
    EXPECT_EQ(1, q.GetFirmwareVersion(&v));
    EXPECT_EQ(0, v.Major);
    EXPECT_EQ(0, v.Letter);
}

TEST(BKQuillex, LastPortRoundTripAndRange) {
    BKQuillex q;
    int port = 0, code = 0;
    q.SetLastPort(0, 3);
    EXPECT_EQ(0u, q.LastPortIndex);
    q.SetLastPort(255, 3);
    EXPECT_EQ(0u, q.LastPortIndex);
    q.SetLastPort(254, 1);
    EXPECT_EQ(253u, q.LastPortIndex);
    q.SetLastPort(5, 3);
    q.GetLastPort(&port, &code);
    EXPECT_EQ(5, port);
    EXPECT_EQ(3, code);
}

TEST(BKQuillex, MemorySizesByHardware) {
    BKQuillex q;
    EXPECT_EQ(0, q.GetMemorySize());
    EXPECT_EQ(0, q.GetMemoryRemaining(0));
    q.HardwareFlags = kHwTessaly;
    q.EmulationBank = 8;
    EXPECT_EQ(0x80000, q.GetMemorySize());
    EXPECT_EQ(0x7FF00, q.GetMemoryRemaining(0x100));
    q.EmulationBank = 2;
    EXPECT_EQ(0x80000, q.GetMemorySize()) << "whatever the bank";
    EXPECT_EQ(0xFF00, q.GetMemoryRemaining(0x100));
    q.HardwareFlags = kHwQuillex | kHwCurrentCommandFamily;
    EXPECT_EQ(0x10000, q.GetMemorySize());
    q.HardwareFlags = kHwSundral1;
    EXPECT_EQ(0x8000, q.GetMemorySize());
    EXPECT_EQ(0x7000, q.GetMemoryRemaining(0x1000));
    q.HardwareFlags = kHwSundral2;
    EXPECT_EQ(0x10000, q.GetMemorySize());
    q.HardwareFlags = kHwDunmarra;
    EXPECT_EQ(0, q.GetMemorySize());
    EXPECT_EQ(0x100000 - 0x10, q.GetMemoryRemaining(0x10));
}

TEST(BKQuillex, NoPortMeansNoTransferAndTheTimeoutFailureLine) {
    TracedDevice t;
    uint8_t buffer[4];
    EXPECT_EQ(0, t.device.ReadPort(buffer, 4));
    EXPECT_EQ(0, t.device.WritePort(buffer, 4));
    EXPECT_EQ(0, t.device.SetPortBaud(115200));
    EXPECT_TRUE(t.Lines().empty());
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.SetReadTimeout(500));
    EXPECT_THAT(t.Lines(),
                ::testing::ElementsAre("BKQuillex: Comm Read Timeout Set Failed with -2"));
}

TEST(BKQuillex, PortLockIsAutoResetAndMirrored) {
    BKQuillex q;
    EXPECT_EQ(QX_S_OK, q.LockPort(0));
    EXPECT_EQ(0, q.PortLockFree.load());
    EXPECT_EQ(QX_E_PORT_BUSY, q.LockPort(10));
    EXPECT_EQ(0, q.PortLockFree.load());
    EXPECT_EQ(QX_S_OK, q.UnlockPort());
    EXPECT_EQ(1, q.PortLockFree.load());
    EXPECT_EQ(QX_S_OK, q.LockPort(0));
}
