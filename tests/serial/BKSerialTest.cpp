#include "serial/BKSerial.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "devicelink/BKQuillex.h"
#include "diagnostics/TextBuffer.h"
#include "sim/DeviceLines.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A port object with its trace lines readable, and one line (a
// pseudo-terminal or a loopback line) as COM1 whose far end the test plays.
class SerialOnLine : public ::testing::Test {
  protected:
    void SetUp() override {
        KeepRealPortsOutOfReach();
        pty = sim::CreateDeviceLine();
        ASSERT_TRUE(pty);
        table = std::make_unique<ScopedPortTable>(std::vector<std::string>{pty->HostPath()});
        serial.SetTraceTarget(&sink);
    }
    void TearDown() override { serial.SetTraceTarget(nullptr); }

    void FromDevice(const char* bytes) {
        ASSERT_TRUE(pty->Write(reinterpret_cast<const uint8_t*>(bytes), std::strlen(bytes)));
    }
    std::string ToDevice(size_t count) {
        std::string got;
        uint8_t buffer[64];
        while (got.size() < count) {
            const int n = pty->Read(buffer, sizeof buffer, 1000);
            if (n <= 0)
                break;
            got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        }
        return got;
    }

    TextBuffer trace;
    TraceSink sink{&trace};
    std::unique_ptr<platform::DeviceLine> pty;
    std::unique_ptr<ScopedPortTable> table;
    BKSerial serial;
};

const std::string kPad(size_t used) {
    return std::string(48 - used, ' ');
}

}  // namespace

TEST(BKSerialClosed, DoesNothingButTheCloseLine) {
    KeepRealPortsOutOfReach();
    TextBuffer trace;
    TraceSink sink(&trace);
    BKSerial serial;
    serial.SetTraceTarget(&sink);

    serial.Close();
    EXPECT_THAT(trace.Lines(), ElementsAre("BKSerial: Port Closed"));
    trace.Clear();

    uint8_t buffer[4] = {};
    EXPECT_EQ(0, serial.SetBaud(115200));
    EXPECT_EQ(0, serial.SetReadTimeout(100));
    EXPECT_EQ(0, serial.Read(buffer, 4));
    EXPECT_EQ(0, serial.Write(buffer, 4));
    EXPECT_EQ(0, serial.Purge(true, true));
    serial.SetQueueSizes(4096, 4096);
    serial.SetTimeouts(1, 2, 3, 4, 5);
    EXPECT_EQ(0, serial.Open("COM9", 115200)) << "beyond the (empty) port table";
    EXPECT_EQ(0, serial.Open("/dev/brevik-no-such-port", 115200));
    EXPECT_EQ(platform::OpenError::NotFound, serial.LastOpenError());
    EXPECT_EQ(0, serial.Open(nullptr, 115200));
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ("", trace.Text()) << "none of these writes a trace line";
    serial.SetTraceTarget(nullptr);
}

TEST_F(SerialOnLine, OpenSetsItsOwnSettingsAndKeepsThePortsStopBitsAndXonXoff) {
    {
        // The port as another program left it: two stop bits, XON/XOFF both
        // ways, even parity, hardware flow control, 7 data bits.
        platform::OpenError error;
        auto other = platform::SerialPort::Open(pty->HostPath().c_str(), &error);
        ASSERT_TRUE(other);
        platform::LineState left;
        left.BaudRate = 9600;
        left.ByteSize = 7;
        left.StopBits = platform::kTwoStopBits;
        left.Parity = 2;
        left.OutxCtsFlow = true;
        left.OutX = left.InX = true;
        ASSERT_TRUE(other->SetState(left));
    }
    ASSERT_EQ(1, serial.Open("COM1", 19200));
    EXPECT_THAT(trace.Lines(), ElementsAre("BKSerial: COM1 opened at 19200 baud"));
    EXPECT_EQ(19200u, pty->HostBaudRate());
    platform::LineState state;
    ASSERT_TRUE(serial.PortHandle->GetState(&state));
    EXPECT_EQ(8, state.ByteSize);
    EXPECT_EQ(platform::kNoParity, state.Parity);
    EXPECT_FALSE(state.OutxCtsFlow);
    EXPECT_EQ(platform::kTwoStopBits, state.StopBits) << "stop bits stay as found";
    EXPECT_TRUE(state.OutX && state.InX) << "software flow control stays as found";

    trace.Clear();
    EXPECT_EQ(1, serial.SetBaud(921600));
    EXPECT_EQ(921600u, pty->HostBaudRate());
    EXPECT_EQ(0, serial.SetBaud(12345)) << "no such line speed";
    EXPECT_EQ(921600u, pty->HostBaudRate());
    EXPECT_THAT(trace.Lines(),
                ElementsAre("BKSerial: Baud changed to 921600", "BKSerial: SetCommState Failed"));
    ASSERT_TRUE(serial.PortHandle->GetState(&state));
    EXPECT_EQ(platform::kTwoStopBits, state.StopBits) << "a rate change touches only the rate";
}

TEST_F(SerialOnLine, AFailedOpenLeavesNoPortOpen) {
    ASSERT_EQ(1, serial.Open("COM1", 115200));
    trace.Clear();
    EXPECT_EQ(0, serial.Open("COM2", 115200));
    EXPECT_THAT(trace.Lines(), ElementsAre("BKSerial: Port Closed"))
        << "the open port is closed first, even though the new one fails";
    EXPECT_FALSE(serial.IsOpen());
    platform::OpenError error;
    EXPECT_TRUE(platform::SerialPort::Open(pty->HostPath().c_str(), &error))
        << "COM1 is free again";

    trace.Clear();
    EXPECT_EQ(0, serial.Open("COM1", 12345)) << "a rate the line cannot take";
    EXPECT_THAT(trace.Lines(), ElementsAre("BKSerial: Port Closed"));
    EXPECT_FALSE(serial.IsOpen()) << "not left open half-configured";
    EXPECT_TRUE(platform::SerialPort::Open(pty->HostPath().c_str(), &error));

    // A port another program holds.
    auto holder = platform::SerialPort::Open(pty->HostPath().c_str(), &error);
    ASSERT_TRUE(holder);
    trace.Clear();
    EXPECT_EQ(0, serial.Open("COM1", 115200));
    EXPECT_EQ(platform::OpenError::Busy, serial.LastOpenError());
    EXPECT_THAT(trace.Lines(), IsEmpty());
}

TEST_F(SerialOnLine, TransfersAreTracedAsHexDumpsOfWhatMoved) {
    ASSERT_EQ(1, serial.Open(pty->HostPath().c_str(), 115200));
    serial.SetTimeouts(0, 0, 200, 0, 500);
    serial.SetQueueSizes(8192, 2048);
    EXPECT_EQ(8192u, serial.PortHandle->InQueueSize());
    EXPECT_EQ(2048u, serial.PortHandle->OutQueueSize());
    trace.Clear();

    EXPECT_EQ(5, serial.Write(reinterpret_cast<const uint8_t*>("hello"), 5));
    EXPECT_EQ("hello", ToDevice(5));
    FromDevice(
        "\x01\x02"
        "abc");
    uint8_t buffer[8] = {};
    EXPECT_EQ(5, serial.Read(buffer, 8)) << "5 of 8 bytes, then the time-out";
    EXPECT_EQ(0, serial.Read(buffer, 8)) << "nothing came";
    EXPECT_THAT(trace.Lines(),
                ElementsAre("BKSerial: Write", "0000: 68 65 6C 6C 6F " + kPad(15) + "hello",
                            "BKSerial: Read", "0000: 01 02 61 62 63 " + kPad(15) + "..abc"));

    trace.Clear();
    EXPECT_EQ(1, serial.SetReadTimeout(40));
    EXPECT_THAT(trace.Lines(), ElementsAre("BKSerial: Comm Read Timeout Set To 40 ms"));
    platform::Timeouts timeouts;
    ASSERT_TRUE(serial.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(40u, timeouts.ReadTotalTimeoutConstant);
    EXPECT_EQ(500u, timeouts.WriteTotalTimeoutConstant) << "only the read constant changes";

    FromDevice("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(1, serial.Purge(false, true));
    EXPECT_EQ(0, serial.Read(buffer, 8)) << "purged";

    pty->HangUp();
    EXPECT_EQ(0, serial.Read(buffer, 8)) << "a failed read counts nothing";
    EXPECT_EQ(0, serial.Write(buffer, 1));
}

TEST_F(SerialOnLine, DestroyingAnOpenPortClosesIt) {
    {
        BKSerial scoped;
        scoped.SetTraceTarget(&sink);
        ASSERT_EQ(1, scoped.Open("COM1", 115200));
        trace.Clear();
    }
    EXPECT_THAT(trace.Lines(), ElementsAre("BKSerial: Port Closed"));
    platform::OpenError error;
    EXPECT_TRUE(platform::SerialPort::Open(pty->HostPath().c_str(), &error));

    // The device object disposes of the port it was given.
    trace.Clear();
    {
        BKQuillex device;
        device.Serial = std::make_unique<BKSerial>();
        device.Serial->SetTraceTarget(&sink);
        ASSERT_EQ(1, device.Serial->Open("COM1", 115200));
    }
    EXPECT_THAT(trace.Lines(),
                ElementsAre("BKSerial: COM1 opened at 115200 baud", "BKSerial: Port Closed"));
    EXPECT_TRUE(platform::SerialPort::Open(pty->HostPath().c_str(), &error));
}
