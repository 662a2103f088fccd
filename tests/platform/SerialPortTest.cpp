#include "platform/SerialPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/Conventions.h"
#include "platform/DeviceLine.h"
#include "platform/Environment.h"
#include "sim/DeviceLines.h"
#include "tests/support/TempDir.h"

using namespace platform;
using sim::CreateDeviceLine;
using sim::DeviceLineKind;
using Clock = std::chrono::steady_clock;

namespace {

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The port's semantics over each kind of line the system can make: a
// pseudo-terminal (POSIX) and a loopback line in memory (everywhere).
class SerialPortOnLine : public ::testing::TestWithParam<DeviceLineKind> {
  protected:
    void SetUp() override {
        pty = CreateDeviceLine(GetParam());
        ASSERT_TRUE(pty);
        OpenError error;
        port = SerialPort::Open(pty->HostPath().c_str(), &error);
        ASSERT_TRUE(port) << DescribeOpenError(error);
        LineState state;
        ASSERT_TRUE(port->GetState(&state));
        state.BaudRate = 115200;
        ASSERT_TRUE(port->SetState(state));
    }

    void FromDevice(const char* bytes) {
        ASSERT_TRUE(pty->Write(reinterpret_cast<const uint8_t*>(bytes), std::strlen(bytes)));
    }

    std::unique_ptr<DeviceLine> pty;
    std::unique_ptr<SerialPort> port;
};

std::string KindName(const ::testing::TestParamInfo<DeviceLineKind>& info) {
    return info.param == DeviceLineKind::Loopback ? "Loopback" : "PseudoTerminal";
}

}  // namespace

// A pseudo-terminal where the system has them; a loopback line everywhere.
std::vector<DeviceLineKind> LineKinds() {
    if (platform::kHasPseudoTerminals)
        return {DeviceLineKind::PseudoTerminal, DeviceLineKind::Loopback};
    return {DeviceLineKind::Loopback};
}

INSTANTIATE_TEST_SUITE_P(Lines, SerialPortOnLine, ::testing::ValuesIn(LineKinds()), KindName);

TEST_P(SerialPortOnLine, TotalTimeoutIsMultiplierTimesCountPlusConstant) {
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

TEST_P(SerialPortOnLine, IntervalTimeoutEndsAReadAfterTheLastByte) {
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

TEST_P(SerialPortOnLine, ReadReturnsAsSoonAsTheCountArrivesEvenInPieces) {
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

TEST_P(SerialPortOnLine, ImmediateModeReturnsWhatIsThere) {
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

TEST_P(SerialPortOnLine, PurgeDiscardsReceivedBytes) {
    ASSERT_TRUE(port->SetTimeouts({0, 0, 50, 0, 300}));
    FromDevice("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(port->Purge(kPurgeTxClear | kPurgeRxClear));
    uint8_t buffer[8];
    uint32_t got = 99;
    EXPECT_TRUE(port->Read(buffer, 8, &got));
    EXPECT_EQ(0u, got);
}

TEST_P(SerialPortOnLine, LineSpeedReachesTheOtherSideAndOddRatesAreRefused) {
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

TEST_P(SerialPortOnLine, OpenIsExclusiveUntilClosed) {
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open(pty->HostPath().c_str(), &error));
    EXPECT_EQ(OpenError::Busy, error);
    port.reset();
    EXPECT_TRUE(SerialPort::Open(pty->HostPath().c_str(), &error));
}

TEST_P(SerialPortOnLine, VanishedDeviceFailsReadsAndWrites) {
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

TEST_P(SerialPortOnLine, WriteTheOtherSideDoesNotTakeEndsAtItsTotalTimeout) {
    // Nobody reads the device's end, so the line's buffer fills
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

TEST_P(SerialPortOnLine, PurgeAndTimeoutChangesDoNotWaitBehindABlockingRead) {
    ASSERT_TRUE(port->SetTimeouts({0, 0, 3000, 0, 300}));
    std::thread reader([this] {
        uint8_t buffer[4];
        uint32_t got = 0;
        port->Read(buffer, sizeof buffer, &got);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(port->SetTimeouts({0, 0, 300, 0, 300}));
    EXPECT_TRUE(port->Purge(kPurgeRxAbort | kPurgeRxClear));
    EXPECT_LT(MillisecondsSince(start), 1000) << "waited behind the read";
    FromDevice("done");
    reader.join();
}

TEST(SerialPortOpen, ReportsWhyItFailed) {
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open("@loopback-never-made", &error));
    EXPECT_EQ(OpenError::NotFound, error);

    TempDir dir;
    const std::string file = dir.File("not-a-port");
    std::ofstream(file) << "text";
    EXPECT_FALSE(SerialPort::Open(file.c_str(), &error));
    EXPECT_EQ(OpenError::NotATerminal, error);
}

// A COM port of the system, served by a virtual device on the far side:
// under Wine, a port mapped to the pseudo-terminal of a Linux brevik-sim
// (BREVIK_TEST_COM_PORT names it). Here the time-outs are the system's own.
class SystemComPort : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("BREVIK_TEST_COM_PORT");
        if (name == nullptr || name[0] == '\0')
            GTEST_SKIP() << "BREVIK_TEST_COM_PORT names no port served by a virtual device";
        path = name;
        OpenError error;
        port = SerialPort::Open(path.c_str(), &error);
        ASSERT_TRUE(port) << path << ": " << DescribeOpenError(error);
        LineState state;
        ASSERT_TRUE(port->GetState(&state));
        state.BaudRate = 115200;
        ASSERT_TRUE(port->SetState(state));
        ASSERT_TRUE(port->Purge(kPurgeRxClear | kPurgeTxClear));
    }

    std::string path;
    std::unique_ptr<SerialPort> port;
};

TEST_F(SystemComPort, TimeoutsPurgeAndAnExchangeWithTheDevice) {
    // Nothing comes unasked: the total time-out ends the read.
    ASSERT_TRUE(port->SetTimeouts({0, 0, 300, 0, 300}));
    uint8_t buffer[16];
    uint32_t got = 99;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(port->Read(buffer, 1, &got));
    EXPECT_EQ(0u, got);
    EXPECT_GE(MillisecondsSince(start), 250);

    // A purge and a time-out change from another thread while a long read waits.
    ASSERT_TRUE(port->SetTimeouts({0, 0, 4000, 0, 300}));
    std::thread reader([this] {
        uint8_t b[4];
        uint32_t n = 0;
        port->Read(b, sizeof b, &n);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    start = Clock::now();
    EXPECT_TRUE(port->SetTimeouts({0, 0, 300, 0, 300}));
    EXPECT_TRUE(port->Purge(kPurgeRxAbort | kPurgeRxClear));
    EXPECT_LT(MillisecondsSince(start), 1000) << "waited behind the read";
    reader.join();
    EXPECT_LT(MillisecondsSince(start), 3500) << "the purge aborts the pending read";

    // The device's version request: "VV" answers major, minor, letter.
    ASSERT_TRUE(port->SetTimeouts({0, 0, 1000, 0, 300}));
    uint32_t written = 0;
    ASSERT_TRUE(port->Write(reinterpret_cast<const uint8_t*>("VV"), 2, &written));
    EXPECT_EQ(2u, written);
    ASSERT_TRUE(port->Read(buffer, 3, &got));
    ASSERT_EQ(3u, got);
    EXPECT_EQ('Q', buffer[2]);
}

TEST_F(SystemComPort, ASecondOpenIsRefused) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine lets a second open of an open COM port through; Windows refuses it";
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open(path.c_str(), &error));
    EXPECT_EQ(OpenError::Busy, error);
}
