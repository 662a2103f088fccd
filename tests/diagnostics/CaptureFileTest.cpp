#include "diagnostics/capture/CaptureFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "platform/SerialPort.h"
#include "sim/DeviceLines.h"
#include "tests/support/Fifo.h"
#include "tests/support/TempDir.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

[[maybe_unused]] std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

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
#ifndef _WIN32
    EXPECT_FALSE(capture::ReadCaptureFile("/dev/zero", &session, &error));
    EXPECT_THAT(error, HasSubstr("regular file"));
#endif
}

#ifndef _WIN32
TEST(CaptureFile, TimeStampsIgnoreTheLocale) {
    // A decimal-comma locale, as the dialog's toolkit sets one, made from
    // the system's locale sources where it has them.
    TempDir dir;
    const std::string made =
        "localedef -i de_DE -f UTF-8 " + dir.File("de_DE.UTF-8") + " >/dev/null 2>&1";
    if (std::system(made.c_str()) != 0)
        GTEST_SKIP() << "no locale sources to make a decimal-comma locale from";
    ::setenv("LOCPATH", dir.Path().c_str(), 1);
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
                       std::string(std::localeconv()->decimal_point) == ",";
    capture::Event e;
    e.seconds = 0.016268;
    e.kind = capture::EventKind::Close;
    e.port = 1;
    const std::string line = capture::FormatEvent(e);
    capture::Session session;
    std::string error;
    const bool parsed =
        capture::ParseCapture("# brevik serial capture 1\n" + line + "\n", &session, &error);
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    ASSERT_TRUE(comma) << "the made locale did not load";
    EXPECT_EQ("0.016268 1 close", line);
    EXPECT_TRUE(parsed) << error;
}

TEST(CaptureFile, TheFileIsNeverALinkOrPipeAndEveryLineIsThereAsItHappens) {
    TempDir dir;
    const std::string target = dir.Write("keep.txt", {'k', 'e', 'e', 'p'});
    const std::string link = dir.File("link.cap");
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
    const std::string fifo = dir.File("pipe.cap");
    ASSERT_TRUE(MakeFifo(fifo));
    for (const std::string& refused : {link, fifo, std::string("/dev/full")}) {
        EXPECT_TRUE(ReturnsWithoutBlocking(fifo, [&] {
            const capture::ScopedCapture capture(refused, "test 0");
            EXPECT_FALSE(capture.Ok()) << refused;
            EXPECT_FALSE(capture.Problem().empty()) << refused;
        })) << refused;
    }
    EXPECT_EQ((std::vector<uint8_t>{'k', 'e', 'e', 'p'}), FileBytes(target));

    const std::string path = dir.File("live.cap");
    auto pty = sim::CreateDeviceLine();
    ASSERT_TRUE(pty);
    const capture::ScopedCapture capture(path, "test 0");
    ASSERT_TRUE(capture.Ok());
    platform::OpenError error;
    auto port = platform::SerialPort::Open(pty->HostPath().c_str(), &error);
    ASSERT_TRUE(port);
    const std::vector<uint8_t> text = FileBytes(path);
    EXPECT_THAT(std::string(text.begin(), text.end()), HasSubstr(" open " + pty->HostPath()))
        << "on the disk before the port closes";

    // A write that fails (here the file-size limit) marks the capture cut.
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previous {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    struct rlimit small = previous;
    small.rlim_cur = static_cast<rlim_t>(text.size());
    ::setrlimit(RLIMIT_FSIZE, &small);
    port->Purge(platform::kPurgeRxClear);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_TRUE(capture.WriteFailed());
}
#endif
