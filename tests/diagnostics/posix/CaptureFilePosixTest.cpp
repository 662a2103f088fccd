#include "diagnostics/capture/CaptureFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/SerialPort.h"
#include "sim/DeviceLines.h"
#include "tests/support/Fifo.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

TEST(CaptureFile, OnlyARegularFileIsReadAsACapture) {
    capture::Session session;
    std::string error;
    EXPECT_FALSE(capture::ReadCaptureFile("/dev/zero", &session, &error));
    EXPECT_THAT(error, HasSubstr("regular file"));
}

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
