#include "platform/SerialPort.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/PseudoTerminal.h"

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class SerialPortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        pty = PseudoTerminal::Create();
        ASSERT_TRUE(pty);
        OpenError error;
        port = SerialPort::Open(pty->SlavePath().c_str(), &error);
        ASSERT_TRUE(port) << DescribeOpenError(error);
        LineState state;
        ASSERT_TRUE(port->GetState(&state));
        state.BaudRate = 115200;
        ASSERT_TRUE(port->SetState(state));
    }

    void FromDevice(const char* bytes) {
        ASSERT_TRUE(pty->Write(reinterpret_cast<const uint8_t*>(bytes), std::strlen(bytes)));
    }

    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<SerialPort> port;
};

}  // namespace

TEST_F(SerialPortOnPty, TotalTimeoutIsMultiplierTimesCountPlusConstant) {
    ASSERT_TRUE(port->SetTimeouts({0, 10, 50, 0, 300}));
    uint8_t buffer[10];
    uint32_t got = 99;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(port->Read(buffer, 10, &got)) << "a time-out is not a failure";
    long long elapsed = MillisecondsSince(start);
    EXPECT_EQ(0u, got);
    EXPECT_GE(elapsed, 150);
    EXPECT_LT(elapsed, 600);
}

TEST_F(SerialPortOnPty, IntervalTimeoutEndsAReadAfterTheLastByte) {
    ASSERT_TRUE(port->SetTimeouts({60, 0, 3000, 0, 300}));
    FromDevice("AB");
    uint8_t buffer[10] = {};
    uint32_t got = 0;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(port->Read(buffer, 10, &got));
    long long elapsed = MillisecondsSince(start);
    EXPECT_EQ(2u, got);
    EXPECT_EQ('A', buffer[0]);
    EXPECT_EQ('B', buffer[1]);
    EXPECT_GE(elapsed, 55);
    EXPECT_LT(elapsed, 1500) << "the interval, not the total, ended the read";
}

TEST_F(SerialPortOnPty, ReadReturnsAsSoonAsTheCountArrivesEvenInPieces) {
    ASSERT_TRUE(port->SetTimeouts({200, 1, 3000, 0, 300}));
    std::thread device([this] {
        FromDevice("12");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        FromDevice("34");
    });
    uint8_t buffer[4];
    uint32_t got = 0;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(port->Read(buffer, 4, &got));
    device.join();
    EXPECT_EQ(4u, got);
    EXPECT_EQ(0, std::memcmp(buffer, "1234", 4));
    EXPECT_LT(MillisecondsSince(start), 1500);
}

TEST_F(SerialPortOnPty, ImmediateModeReturnsWhatIsThere) {
    ASSERT_TRUE(port->SetTimeouts({kMaxTimeout, 0, 0, 0, 300}));
    uint8_t buffer[8];
    uint32_t got = 99;
    EXPECT_TRUE(port->Read(buffer, 8, &got));
    EXPECT_EQ(0u, got);
    FromDevice("xyz");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(port->Read(buffer, 8, &got));
    EXPECT_EQ(3u, got);
}

TEST_F(SerialPortOnPty, PurgeDiscardsReceivedBytes) {
    ASSERT_TRUE(port->SetTimeouts({0, 0, 50, 0, 300}));
    FromDevice("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(port->Purge(kPurgeTxClear | kPurgeRxClear));
    uint8_t buffer[8];
    uint32_t got = 99;
    EXPECT_TRUE(port->Read(buffer, 8, &got));
    EXPECT_EQ(0u, got);
}

TEST_F(SerialPortOnPty, LineSpeedReachesTheOtherSideAndOddRatesAreRefused) {
    LineState state;
    ASSERT_TRUE(port->GetState(&state));
    EXPECT_EQ(115200u, state.BaudRate);
    EXPECT_EQ(8, state.ByteSize);
    EXPECT_EQ(kNoParity, state.Parity);
    EXPECT_EQ(115200u, pty->HostBaudRate());
    for (uint32_t baud : {19200u, 230400u, 460800u, 921600u}) {
        state.BaudRate = baud;
        EXPECT_TRUE(port->SetState(state)) << baud;
        EXPECT_EQ(baud, pty->HostBaudRate());
    }
    state.BaudRate = 12345;
    EXPECT_FALSE(port->SetState(state));
    EXPECT_EQ(921600u, pty->HostBaudRate()) << "a refused state changes nothing";
}

TEST_F(SerialPortOnPty, OpenIsExclusiveUntilClosed) {
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open(pty->SlavePath().c_str(), &error));
    EXPECT_EQ(OpenError::Busy, error);
    port.reset();
    EXPECT_TRUE(SerialPort::Open(pty->SlavePath().c_str(), &error));
}

TEST_F(SerialPortOnPty, VanishedDeviceFailsReadsAndWrites) {
    ASSERT_TRUE(port->SetTimeouts({0, 0, 5000, 0, 300}));
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty->HangUp();
    });
    uint8_t buffer[4];
    uint32_t got = 0;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(port->Read(buffer, 4, &got));
    unplug.join();
    EXPECT_LT(MillisecondsSince(start), 2000) << "the read must not wait out its time-out";
    uint32_t written = 0;
    EXPECT_FALSE(port->Write(reinterpret_cast<const uint8_t*>("x"), 1, &written));
}

TEST_F(SerialPortOnPty, WriteTheOtherSideDoesNotTakeEndsAtItsTotalTimeout) {
    // Nobody reads the master side, so the pseudo-terminal's buffer fills
    // and the rest of the write must give up at 0 * count + 200 ms.
    ASSERT_TRUE(port->SetTimeouts({0, 0, 300, 0, 200}));
    std::vector<uint8_t> flood(4 << 20, 0x55);
    uint32_t written = 0;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(port->Write(flood.data(), static_cast<uint32_t>(flood.size()), &written))
        << "a write time-out is not a failure";
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, flood.size()) << "the stalled part is reported as not written";
    EXPECT_GE(elapsed, 150);
    EXPECT_LT(elapsed, 2000);

    // Once the other side drains, writing goes on.
    port->Purge(kPurgeTxClear | kPurgeRxClear);
    uint8_t sink[4096];
    while (pty->Read(sink, sizeof sink, 50) > 0) {
    }
    EXPECT_TRUE(port->Write(reinterpret_cast<const uint8_t*>("ok"), 2, &written));
    EXPECT_EQ(2u, written);
}

TEST(SerialPortOpen, ReportsWhyItFailed) {
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open("/dev/brevik-no-such-port", &error));
    EXPECT_EQ(OpenError::NotFound, error);

    char file[] = "/tmp/brevik-not-a-tty-XXXXXX";
    int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_FALSE(SerialPort::Open(file, &error));
    EXPECT_EQ(OpenError::NotATerminal, error);
    ::unlink(file);
    EXPECT_NE(std::string::npos,
              std::string(DescribeOpenError(OpenError::PermissionDenied)).find("dialout"));
}
