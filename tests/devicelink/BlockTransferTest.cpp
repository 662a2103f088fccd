#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "devicelink/BKQuillex.h"
#include "tests/support/Fakes.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

constexpr uint32_t kQuillexUsb = 0x8485;
constexpr uint32_t kTessalyUsb = 0x8091;
constexpr uint32_t kDunmarraUsb = 0x2081;
constexpr uint32_t kSundral2 = 0x8022;  // older family: no bulk commands

std::vector<uint8_t> Pattern(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    std::mt19937 random(seed);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// A device of the given family and firmware, open on COM1, its memory
// filled with a known pattern.
class Transfers : public ::testing::Test {
  protected:
    void Open(uint8_t major, uint8_t minor, char letter, uint32_t flags) {
        if (port) {
            t.device.ClosePort();
            port.reset();
        }
        sim::DeviceConfig config;
        config.major = major;
        config.minor = minor;
        config.letter = letter;
        port = std::make_unique<OneSimulatedPort>(config);
        memory = Pattern(letter == 'D' ? sim::kDunmarraMemorySize : sim::kBankedMemorySize, 7);
        port->Device().SetMemory(0, memory);
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.HardwareFlags = flags;
        t.device.FirmwareVersion = {major, minor, letter};
        Device().ClearLog();
        t.trace.Clear();
    }
    sim::VirtualDevice& Device() { return port->Device(); }
    std::vector<std::vector<uint8_t>> Requests() { return RequestsOf(Device()); }
    std::vector<uint8_t> Memory(uint32_t address, size_t count) {
        return std::vector<uint8_t>(memory.begin() + address, memory.begin() + address + count);
    }
    static uint8_t Sum(const std::vector<uint8_t>& bytes) {
        return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
    }

    std::unique_ptr<OneSimulatedPort> port;
    TracedDevice t;
    std::vector<uint8_t> memory;
};

// Sets the device's cancel flag once the bar has been stepped n times.
class CancellingProgressBar : public RecordingProgressBar {
  public:
    CancellingProgressBar(BKQuillex& device, int afterSteps)
        : device_(device), afterSteps_(afterSteps) {}
    void StepIt() override {
        RecordingProgressBar::StepIt();
        if (++steps_ == afterSteps_)
            device_.CancelRequested = 1;
    }

  private:
    BKQuillex& device_;
    int afterSteps_;
    int steps_ = 0;
};

}  // namespace

TEST(Scrambling, BuiltInKeyChainsAndRoundTrips) {
    uint8_t chain = 0x77;
    EXPECT_EQ(E_FAIL, BKQuillex::ScrambleBytes(nullptr, 0, nullptr, 4, &chain));
    EXPECT_EQ(0, chain);
    uint8_t one = 1;
    EXPECT_EQ(E_FAIL, BKQuillex::ScrambleBytes(nullptr, 0, &one, 0, nullptr));
    EXPECT_EQ(E_FAIL, BKQuillex::UnscrambleBytes(0x52, nullptr, 0, nullptr, 1));

    uint8_t markers[2] = {0x01, 0x02};
    ASSERT_EQ(0, BKQuillex::ScrambleBytes(nullptr, 0, markers, 2, &chain));
    EXPECT_THAT(markers, ElementsAre(0x4D, 0x51));
    EXPECT_EQ(0x51, chain) << "the last scrambled byte";

    std::vector<uint8_t> bytes = Pattern(300, 1);
    const std::vector<uint8_t> original = bytes;
    ASSERT_EQ(0, BKQuillex::ScrambleBytes(nullptr, 0, bytes.data(), 300, &chain));
    EXPECT_NE(original, bytes);
    // Any tail comes back with the scrambled byte before it as seed.
    std::vector<uint8_t> tail(bytes.begin() + 100, bytes.end());
    ASSERT_EQ(0, BKQuillex::UnscrambleBytes(bytes[99], nullptr, 0, tail.data(), 200));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), original.begin() + 100));
    // The whole run with the start value, 0x5A plus the key's sum.
    ASSERT_EQ(0, BKQuillex::UnscrambleBytes(0x52, nullptr, 0, bytes.data(), 300));
    EXPECT_EQ(original, bytes);

    const uint8_t key[3] = {1, 2, 3};
    uint8_t own[2] = {0x01, 0x02};
    BKQuillex::ScrambleBytes(key, 3, own, 2, nullptr);
    EXPECT_THAT(own, ::testing::Not(ElementsAre(0x4D, 0x51)));
    BKQuillex::UnscrambleBytes(static_cast<uint8_t>(0x5A + 6), key, 3, own, 2);
    EXPECT_THAT(own, ElementsAre(0x01, 0x02));
}

TEST_F(Transfers, BlockPacketsWhenTheFirmwareHasNoBulkCommands) {
    Open(2, 11, 'Q', kQuillexUsb);
    std::vector<uint8_t> data(300);
    RecordingProgressBar bar;
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 300, 0x0100, 0, &bar));
    EXPECT_EQ(Memory(0x100, 300), data);
    const auto requests = Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_THAT(requests[0], ElementsAre('R', 0x00, 0x01, 0x00, 0x53)) << "256 travels as 0";
    EXPECT_THAT(requests[1], ElementsAre('R', 44, 0x02, 0x00, 0x80));
    EXPECT_THAT(bar.Calls(),
                ElementsAre("range 0 1", "step 1", "pos 0", "stepit", "stepit", "pos 0"))
        << "the refused bulk attempt starts nothing; a final part-packet steps past the range";
    EXPECT_TRUE(t.HasLine("BrevikWare: BulkXfer - unsupported FW version"));
    EXPECT_TRUE(t.HasLine("BKQuillex ReadBlock Request initiated for 300 bytes."));

    // A device of an older family: the bulk attempt is refused silently.
    Open(1, 2, '2', kSundral2);
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 256, 0x0100, 0, nullptr));
    EXPECT_FALSE(t.HasLine("BrevikWare: BulkXfer - unsupported FW version"));
    EXPECT_EQ(1u, Requests().size());

    Device().ClearLog();
    EXPECT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 0, 0x0100, QX_XFER_NO_BULK, &bar));
    EXPECT_TRUE(Requests().empty()) << "nothing to read: no packet";
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(Transfers, BlockWritesInTheirThreeCommands) {
    Open(2, 11, 'Q', kQuillexUsb);
    const std::vector<uint8_t> data = Pattern(300, 2);
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(data.data(), 300, 0x1000, 0, nullptr));
    EXPECT_EQ(data, Device().Memory(0x1000, 300));
    auto requests = Requests();
    ASSERT_EQ(2u, requests.size()) << "no bulk attempt for 300 bytes";
    EXPECT_EQ(256u + 5, requests[0].size());
    EXPECT_THAT(std::vector<uint8_t>(requests[1].begin(), requests[1].begin() + 4),
                ElementsAre('W', 44, 0x11, 0x00));
    EXPECT_EQ(Sum(std::vector<uint8_t>(requests[1].begin(), requests[1].end() - 1)),
              requests[1].back());

    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(data.data(), 10, 0x2000, QX_XFER_WRITE_LOWER, nullptr));
    EXPECT_EQ('w', Requests()[0][0]);
    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(data.data(), 10, 0x2000,
                                           QX_XFER_ALT_WRITE | QX_XFER_WRITE_LOWER, nullptr));
    EXPECT_EQ('X', Requests()[0][0]) << "the alternate write wins";

    Device().InjectFault("X", {sim::FaultKind::WrongByte, 0x00, 0, 1});
    EXPECT_EQ(QX_E_ALT_WRITE_BAD_CHECKSUM,
              t.device.WriteBlock(data.data(), 10, 0x2000, QX_XFER_ALT_WRITE, nullptr));
    Device().InjectFault("W", {sim::FaultKind::WrongByte, '?', 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.WriteBlock(data.data(), 10, 0x2000, 0, nullptr));
    Device().InjectFault("W", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT, t.device.WriteBlock(data.data(), 10, 0x2000, 0, nullptr));
    EXPECT_EQ(1, t.device.PortLockFree.load());
    t.device.ClosePort();
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.WriteBlock(data.data(), 10, 0, 0, nullptr));
}

TEST_F(Transfers, BulkPacketsFirstWhereTheFirmwareCarriesThem) {
    Open(2, 12, 'Q', kQuillexUsb);
    std::vector<uint8_t> data(5120);
    RecordingProgressBar bar;
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 5120, 0, 0, &bar));
    EXPECT_EQ(Memory(0, 5120), data);
    auto requests = Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_THAT(requests[0], ElementsAre('Z', 'R', 8, 0x00, 0x00, 0xB4));
    EXPECT_THAT(requests[1], ElementsAre('Z', 'R', 8, 0x00, 0x08, 0xBC));
    EXPECT_THAT(requests[2], ElementsAre('Z', 'R', 4, 0x00, 0x10, 0xC0));
    EXPECT_THAT(bar.Calls(), ElementsAre("range 0 2", "step 1", "pos 0", "stepit", "stepit",
                                         "stepit", "pos 0", "pos 0"));
    EXPECT_TRUE(t.HasLine("BrevikWare: Bulk Read Request initiated for 5120 bytes."));

    Device().ClearLog();
    const std::vector<uint8_t> written = Pattern(8192, 3);
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(written.data(), 8192, 0x4000, 0, nullptr));
    EXPECT_EQ(written, Device().Memory(0x4000, 8192));
    requests = Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(4096u + 6, requests[0].size());
    EXPECT_THAT(std::vector<uint8_t>(requests[1].begin(), requests[1].begin() + 5),
                ElementsAre('Z', 'W', 16, 0x00, 0x50));

    // Unaligned: the bulk read refuses with its line, the block path reads.
    Device().ClearLog();
    t.trace.Clear();
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 512, 0x180, 0, nullptr));
    EXPECT_TRUE(t.HasLine("BrevikWare: BulkRead failure. Size/Address must be divisible by 256."));
    EXPECT_THAT(Requests().front(), ElementsAre('R', 0x00, 0x01, 0x80, 0xD3));
    // An unaligned write makes no bulk attempt at all.
    Device().ClearLog();
    t.trace.Clear();
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(written.data(), 512, 0x180, 0, nullptr));
    EXPECT_FALSE(
        t.HasLine("BrevikWare: BulkWrite failure. Size/Address must be divisible by 256."));
    EXPECT_EQ('W', Requests().front()[0]);

    // A bulk write the device turns down is done again in blocks.
    Device().ClearLog();
    Device().InjectFault("ZW", {sim::FaultKind::WrongByte, '?', 0, 1});
    const std::vector<uint8_t> again = Pattern(512, 4);
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(again.data(), 512, 0x8000, 0, nullptr));
    EXPECT_EQ(again, Device().Memory(0x8000, 512));
    EXPECT_EQ(3u, Requests().size()) << "one bulk packet, then two block packets";
}

TEST_F(Transfers, TessalyBulkLevelAndTheLargeBinBankSwitch) {
    Open(10, 11, 'L', kTessalyUsb);
    ASSERT_EQ(QX_S_OK, t.device.SetBank(2, 1, 0, 0));
    t.device.EmulationBank = 8;
    Device().ClearLog();
    std::vector<uint8_t> data(0x200);
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 0x200, 0x2FF00, QX_XFER_NO_BULK, nullptr));
    EXPECT_EQ(Memory(0x2FF00, 0x200), data);
    auto requests = Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_THAT(requests[0], ElementsAre('R', 0x00, 0xFF, 0x00, 0x51)) << "offset in bank 2";
    EXPECT_THAT(requests[1], ElementsAre('B', 'R', 0x03, 0x97)) << "the switch to bank 3";
    EXPECT_THAT(requests[2], ElementsAre('R', 0x00, 0x00, 0x00, 0x52));
    EXPECT_EQ(3, t.device.ReadWriteBank);
    EXPECT_EQ(QX_E_LARGE_BIN_BANK_FAILED,
              t.device.ReadBlock(data.data(), 0x100, 0x80000, QX_XFER_NO_BULK, nullptr));

    // 10.11 has no bulk commands, 10.12 has: 24-bit addresses, no switch.
    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 0x200, 0x2FF00, 0, nullptr));
    EXPECT_TRUE(t.HasLine("BrevikWare: BulkXfer - unsupported FW version"));
    t.device.FirmwareVersion = {10, 12, 'L'};
    sim::DeviceConfig newer = Device().Config();
    newer.minor = 12;
    Device().SetConfig(newer);
    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 0x200, 0x2FF00, 0, nullptr));
    EXPECT_EQ(Memory(0x2FF00, 0x200), data);
    EXPECT_THAT(Requests(), ElementsAre(ElementsAre('Z', 'R', 2, 0x02, 0xFF, 0xAF)));
}

TEST_F(Transfers, DunmarraFramingScrambledAndPlain) {
    Open(3, 2, 'D', kDunmarraUsb);
    uint8_t three[3];
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.ReadBlock(three, 3, 0x100, 0, nullptr));
    EXPECT_TRUE(t.HasLine("BrevikWare: BulkRead failure. Size/Address must be divisible by 256."));
    EXPECT_EQ("BKQuillex: DunMarra I/O request address/size alignment error", t.Lines().back());

    std::vector<uint8_t> data(256);
    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 256, 0x012340, QX_XFER_NO_BULK, nullptr));
    EXPECT_EQ(Memory(0x012340, 256), data) << "unscrambled with the request's chain";
    std::vector<uint8_t> request = Requests().front();
    ASSERT_EQ(8u, request.size());
    EXPECT_THAT(std::vector<uint8_t>(request.begin(), request.begin() + 4),
                ElementsAre('R', 0x00, 0x4D, 0x51));
    uint8_t address[5] = {1, 2, 0x01, 0x23, 0x40};
    BKQuillex::ScrambleBytes(nullptr, 0, address, 5, nullptr);
    EXPECT_THAT(std::vector<uint8_t>(request.begin() + 2, request.begin() + 7),
                ElementsAreArray(address));

    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(data.data(), 256, 0x012340,
                                          QX_XFER_NO_BULK | QX_XFER_PLAIN, nullptr));
    EXPECT_EQ(Memory(0x012340, 256), data);
    EXPECT_THAT(Requests().front(), ElementsAre('R', 0x00, 0x01, 0x23, 0x40, 0xB6));

    const std::vector<uint8_t> written = Pattern(4096 + 512, 5);
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(written.data(), 512, 0x20000, QX_XFER_NO_BULK, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + 512),
              Device().Memory(0x20000, 512));
    // The bulk path scrambles too, whatever the caller's options.
    Device().ClearLog();
    ASSERT_EQ(QX_S_OK, t.device.WriteBlock(written.data(), 4096, 0x40000, QX_XFER_PLAIN, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + 4096),
              Device().Memory(0x40000, 4096));
    EXPECT_EQ(4096u + 8, Requests().front().size());
    std::vector<uint8_t> back(4096);
    ASSERT_EQ(QX_S_OK, t.device.ReadBlock(back.data(), 4096, 0x40000, 0, nullptr));
    EXPECT_EQ(Device().Memory(0x40000, 4096), back);
}

TEST_F(Transfers, BadReadsCancelAndABusyPort) {
    Open(2, 12, 'Q', kQuillexUsb);
    std::vector<uint8_t> data(1024);
    Device().InjectFault("R", {sim::FaultKind::BadChecksum, 0, 0, 1});
    EXPECT_EQ(QX_E_EXTERNAL_CS_INVALID,
              t.device.ReadBlock(data.data(), 16, 0x10, QX_XFER_NO_BULK, nullptr));
    EXPECT_THAT(t.Lines(), ::testing::Contains(::testing::StartsWith(
                               "BKQuillex Read Error - invalid packet checksum. Expected ")));
    Device().InjectFault("R", {sim::FaultKind::CutShort, 0, 0, 1});
    t.trace.Clear();
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT,
              t.device.ReadBlock(data.data(), 16, 0x10, QX_XFER_NO_BULK, nullptr));
    EXPECT_FALSE(
        t.HasLine("BKQuillex: ReadBlock: Read timed-out after 0 bytes. Expected 16 bytes."))
        << "a missing checksum byte has no line of its own";
    Device().InjectFault("R", {sim::FaultKind::NoReply, 0, 0, 1, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT,
              t.device.ReadBlock(data.data(), 300, 0x10, QX_XFER_NO_BULK, nullptr));
    EXPECT_TRUE(
        t.HasLine("BKQuillex: ReadBlock: Read timed-out after 256 bytes. Expected 300 bytes."));
    Device().InjectFault("ZR", {sim::FaultKind::BadChecksum, 0, 0, 1});
    EXPECT_EQ(QX_E_EXTERNAL_CS_INVALID, t.device.BulkRead(data.data(), 256, 0, 0, nullptr));

    // Cancelled before the first packet, and after the first of several.
    Device().ClearLog();
    t.device.CancelRequested = 1;
    EXPECT_EQ(QX_E_OPERATION_CANCELED,
              t.device.ReadBlock(data.data(), 512, 0, QX_XFER_NO_BULK, nullptr));
    EXPECT_TRUE(t.HasLine("BKQuillex: ReadBlock - Operation Canceled"));
    EXPECT_EQ(0, t.device.CancelRequested.load());
    EXPECT_TRUE(Requests().empty());
    struct Case {
        uint32_t options;
        bool write;
        const char* line;
    };
    for (const Case& c : {Case{QX_XFER_NO_BULK, false, "BKQuillex: ReadBlock - Operation Canceled"},
                          Case{QX_XFER_NO_BULK, true, "BKQuillex: WriteBlock - Operation Canceled"},
                          Case{0, false, "BrevikWare: Bulk Read - Operation Canceled"},
                          Case{0, true, "BrevikWare: BulkWrite - Operation Canceled"}}) {
        CancellingProgressBar bar(t.device, 1);
        Device().ClearLog();
        std::vector<uint8_t> big(8192);
        const int result = c.write ? t.device.WriteBlock(big.data(), 8192, 0, c.options, &bar)
                                   : t.device.ReadBlock(big.data(), 8192, 0, c.options, &bar);
        EXPECT_EQ(QX_E_OPERATION_CANCELED, result) << c.line;
        EXPECT_EQ(1u, Requests().size()) << c.line << ": stopped before its next packet";
        EXPECT_TRUE(t.HasLine(c.line));
        EXPECT_EQ(0, t.device.CancelRequested.load());
        EXPECT_EQ("pos 0", bar.Calls().back());
    }

    PortLockHolder holder(t.device);
    t.device.SetReadTimeout(4321);
    t.device.CancelRequested = 1;  // meant for the holder's transfer
    RecordingProgressBar bar;
    EXPECT_EQ(QX_E_PORT_BUSY, t.device.ReadBlock(data.data(), 16, 0, QX_XFER_NO_BULK, &bar));
    EXPECT_EQ(1, t.device.CancelRequested.load()) << "left for the transfer that holds the lock";
    platform::Timeouts timeouts;
    ASSERT_TRUE(t.device.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(4321u, timeouts.ReadTotalTimeoutConstant);
    EXPECT_EQ("pos 0", bar.Calls().back());
    holder.Release();
    t.device.CancelRequested = 0;
}

TEST_F(Transfers, VerifyCountsDifferences) {
    Open(2, 11, 'Q', kQuillexUsb);
    std::vector<uint8_t> expected = Memory(0x300, 600);
    RecordingProgressBar bar;
    EXPECT_EQ(1, t.device.Verify(expected.data(), 0x300, 600, &bar));
    EXPECT_EQ("pos 0", bar.Calls().back());
    EXPECT_TRUE(t.HasLine("BKQuillex: 600-length Verify requested"));
    expected[0] ^= 1;
    expected[300] ^= 1;
    expected[599] ^= 1;
    EXPECT_EQ(0, t.device.Verify(expected.data(), 0x300, 600, nullptr));
    EXPECT_EQ("BKQuillex: ERROR! Verify failed with 3 differences.", t.Lines().back());
    Device().InjectFault("R", {sim::FaultKind::BadChecksum, 0, 0, 1});
    EXPECT_EQ(QX_E_EXTERNAL_CS_INVALID, t.device.Verify(expected.data(), 0x300, 600, nullptr));
    t.device.ClosePort();
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.Verify(expected.data(), 0x300, 600, nullptr));
}

// Once the transfer has let go of the port lock and steps the bar back to
// 0, another thread's transfer takes the lock, raises its read time-out and
// has its cancel requested; it keeps the lock until released.
class LockTakingProgressBar : public RecordingProgressBar {
  public:
    explicit LockTakingProgressBar(BKQuillex& device) : device_(device) {}
    ~LockTakingProgressBar() override { Release(); }
    void SetPosition(int position) override {
        RecordingProgressBar::SetPosition(position);
        if (position != 0 || MaxPosition() == 0 || device_.PortLockFree == 0 || other_.joinable())
            return;
        std::atomic<bool> ready{false};
        other_ = std::thread([this, &ready] {
            taken_ = device_.LockPort(kPortLockWaitMs) == QX_S_OK;
            device_.SetReadTimeout(kLongReadTimeoutMs);
            device_.CancelRequested = 1;
            ready = true;
            while (!release_)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            device_.CancelRequested = 0;
            device_.SetReadTimeout(kDefaultReadTimeoutMs);
            if (taken_)
                device_.UnlockPort();
        });
        while (!ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool Triggered() const { return other_.joinable(); }
    void Release() {
        release_ = true;
        if (other_.joinable())
            other_.join();
    }

  private:
    BKQuillex& device_;
    std::thread other_;
    std::atomic<bool> taken_{false};
    std::atomic<bool> release_{false};
};

TEST_F(Transfers, ABulkSuccessLeavesTheNextLockHolderAloneConcurrency) {
    Open(2, 12, 'Q', kQuillexUsb);
    for (bool write : {false, true}) {
        std::vector<uint8_t> data = Pattern(4096, 9);
        LockTakingProgressBar bar(t.device);
        const int result = write ? t.device.WriteBlock(data.data(), 4096, 0x1000, 0, &bar)
                                 : t.device.ReadBlock(data.data(), 4096, 0x1000, 0, &bar);
        EXPECT_EQ(QX_S_OK, result);
        ASSERT_TRUE(bar.Triggered()) << "the other thread took the lock after the bulk transfer";
        EXPECT_EQ(static_cast<uint32_t>(kLongReadTimeoutMs), ReadTimeoutOf(t.device))
            << (write ? "write" : "read") << ": the holder's time-out stays";
        EXPECT_EQ(1, t.device.CancelRequested.load()) << "the holder's cancel stays";
        EXPECT_EQ(0, t.device.PortLockFree.load());
        EXPECT_EQ("pos 0", bar.Calls().back());
        bar.Release();
        EXPECT_EQ(1, t.device.PortLockFree.load());
    }
}

TEST_F(Transfers, AShortAlternateWriteReplyIsATimeout) {
    Open(2, 11, 'Q', kQuillexUsb);
    const std::vector<uint8_t> data = Pattern(10, 5);
    // Only the sum's low byte arrives; the missing byte must not count as 0
    // (a sum below 256 would then pass).
    std::vector<uint8_t> small(10, 1);
    Device().InjectFault("X", {sim::FaultKind::CutShort, 0, 0, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT,
              t.device.WriteBlock(small.data(), 10, 0x2000, QX_XFER_ALT_WRITE, nullptr));
    Device().InjectFault("X", {sim::FaultKind::CutShort, 0, 0, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT,
              t.device.WriteBlock(data.data(), 10, 0x2000, QX_XFER_ALT_WRITE, nullptr));
    EXPECT_EQ(1, t.device.PortLockFree.load());
    EXPECT_EQ(QX_S_OK, t.device.WriteBlock(data.data(), 10, 0x2000, QX_XFER_ALT_WRITE, nullptr));
}
