#include "diagnostics/capture/CaptureFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/SerialPort.h"
#include "sim/DeviceLines.h"
#include "tests/support/TempDir.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(CaptureFile, EveryEventReadsBackAsWritten) {
    const std::string text =
        "# brevik serial capture 1\n"
        "program brevik 1.7\n"
        "0.000000 1 open /dev/pts/3\n"
        "0.000041 1 line 115200 8N1\n"
        "0.000052 1 timeouts 200 1 300 0 300\n"
        "0.000060 1 purge 0C\n"
        "0.000075 1 tx 56 56\n"
        "0.002130 1 rx 3 02 0B 51\n"
        "0.302130 1 rx 1\n"
        "0.412000 1 close\n";
    capture::Session session;
    std::string error;
    ASSERT_TRUE(capture::ParseCapture(text, &session, &error)) << error;
    EXPECT_EQ("brevik 1.7", session.program);
    ASSERT_EQ(8u, session.events.size());
    EXPECT_EQ("/dev/pts/3", session.events[0].name);
    EXPECT_EQ(115200u, session.events[1].baud);
    EXPECT_EQ("8N1", session.events[1].framing);
    EXPECT_THAT(session.events[2].values, ElementsAre(200, 1, 300, 0, 300));
    EXPECT_EQ(0x0Cu, session.events[3].values[0]);
    EXPECT_THAT(session.events[4].bytes, ElementsAre(0x56, 0x56));
    EXPECT_EQ(3u, session.events[5].requested);
    EXPECT_THAT(session.events[5].bytes, ElementsAre(0x02, 0x0B, 0x51));
    EXPECT_TRUE(session.events[6].bytes.empty()) << "a read that timed out with nothing";
    std::string again = "# brevik serial capture 1\nprogram brevik 1.7\n";
    for (const capture::Event& e : session.events)
        again += capture::FormatEvent(e) + "\n";
    EXPECT_EQ(text, again);

    for (const char* bad : {"0.1 1 tx\n", "0.1 1 tx 5G\n", "0.1 1 rx 1 01 02\n", "0.1 1 jump\n",
                            "0.1 1 line fast 8N1\n", "one 1 close\n"}) {
        EXPECT_FALSE(capture::ParseCapture(std::string("# brevik serial capture 1\n") + bad,
                                           &session, &error))
            << bad;
        EXPECT_THAT(error, HasSubstr("line 2")) << bad;
    }
    EXPECT_FALSE(capture::ParseCapture("0.1 1 close\n", &session, &error));
    EXPECT_THAT(error, HasSubstr("not a brevik serial capture"));
}

TEST(CaptureFile, TheWriterRecordsAPortsTrafficByteForByte) {
    TempDir dir;
    const std::string path = dir.File("session.cap");
    auto pty = sim::CreateDeviceLine();
    ASSERT_TRUE(pty);
    {
        const capture::ScopedCapture capture(path, "test 0");
        ASSERT_TRUE(capture.Ok());
        platform::OpenError error;
        auto port = platform::SerialPort::Open(pty->HostPath().c_str(), &error);
        ASSERT_TRUE(port);
        platform::LineState state;
        state.BaudRate = 9600;
        ASSERT_TRUE(port->SetState(state));
        platform::Timeouts timeouts;
        timeouts.ReadTotalTimeoutConstant = 50;
        ASSERT_TRUE(port->SetTimeouts(timeouts));
        port->Purge(platform::kPurgeRxClear | platform::kPurgeTxClear);
        const uint8_t request[] = {'V', 'V'};
        uint32_t moved = 0;
        ASSERT_TRUE(port->Write(request, 2, &moved));
        uint8_t echo[2];
        ASSERT_EQ(2, pty->Read(echo, 2, 1000));
        const uint8_t reply[] = {0x02, 0x0B};
        ASSERT_TRUE(pty->Write(reply, 2));
        uint8_t got[3];
        ASSERT_TRUE(port->Read(got, 3, &moved));
        EXPECT_EQ(2u, moved);
    }
    // Ports opened after the capture ended are not seen.
    platform::OpenError error;
    platform::SerialPort::Open(pty->HostPath().c_str(), &error);

    capture::Session session;
    std::string error2;
    ASSERT_TRUE(capture::ReadCaptureFile(path, &session, &error2)) << error2;
    EXPECT_EQ("test 0", session.program);
    std::vector<std::string> kinds;
    for (const capture::Event& e : session.events) {
        std::string line = capture::FormatEvent(e);
        kinds.push_back(line.substr(line.find(' ', line.find(' ') + 1) + 1));
    }
    EXPECT_THAT(kinds,
                ElementsAre("open " + pty->HostPath(), "line 9600 8N1", "timeouts 0 0 50 0 0",
                            "purge 0C", "tx 56 56", "rx 3 02 0B", "close"));
    for (size_t i = 1; i < session.events.size(); ++i)
        EXPECT_GE(session.events[i].seconds, session.events[i - 1].seconds);
}

TEST(CaptureFile, ACaptureIsOutsideInputAndItsNumbersAreBounded) {
    const std::string head = "# brevik serial capture 1\n";
    capture::Session session;
    std::string error;
    for (const char* bad :
         {"0.1 4294967295 open /dev/x\n", "0.1 -1 open /dev/x\n", "0.1 4000000000 close\n",
          "0.1 65536 close\n", "0.1 1 rx 4000000000\n", "nan 1 close\n", "inf 1 close\n",
          "-1 1 close\n", "0,016268 1 close\n", "1e999 1 close\n"}) {
        EXPECT_FALSE(capture::ParseCapture(head + bad, &session, &error)) << bad;
        EXPECT_THAT(error, HasSubstr("line 2")) << bad;
    }
    EXPECT_FALSE(capture::ParseCapture(head + "0.1 1 open /dev/x\r\r\n", &session, &error))
        << "a control character in a name would not read back as written";
    capture::Event open;
    open.kind = capture::EventKind::Open;
    open.port = 1;
    open.name = "/dev/\x1B[2Jx\r";
    EXPECT_EQ("0.000000 1 open /dev/?[2Jx?", capture::FormatEvent(open));
    ASSERT_TRUE(capture::ParseCapture(head + "12.5 65535 close\n", &session, &error)) << error;
    EXPECT_EQ(65535u, session.events[0].port);
}
