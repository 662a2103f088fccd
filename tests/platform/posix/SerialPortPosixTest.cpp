#include "platform/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "platform/PseudoTerminal.h"

using platform::OpenError;
using platform::SerialPort;

TEST(SerialPortOpen, AMissingDeviceAndAForbiddenOneSayWhy) {
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open("/dev/brevik-no-such-port", &error));
    EXPECT_EQ(OpenError::NotFound, error);
    EXPECT_NE(
        std::string::npos,
        std::string(platform::DescribeOpenError(OpenError::PermissionDenied)).find("dialout"));
}

// A terminal another program made exclusive (TIOCEXCL) is busy, also to
// root, who may open it anyway; its flag is left as that program set it.
TEST(SerialPortOpen, ATerminalHeldExclusivelyIsBusyAndKeepsItsFlag) {
    const auto line = platform::PseudoTerminal::Create();
    ASSERT_TRUE(line);
    const int other = ::open(line->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(0, ::ioctl(other, TIOCEXCL));
    OpenError error = OpenError::None;
    EXPECT_FALSE(SerialPort::Open(line->SlavePath().c_str(), &error));
    EXPECT_EQ(OpenError::Busy, error);
    int exclusive = 0;
    ASSERT_EQ(0, ::ioctl(other, TIOCGEXCL, &exclusive));
    EXPECT_EQ(1, exclusive) << "the other program's hold was cleared";
    ASSERT_EQ(0, ::ioctl(other, TIOCNXCL));
    SerialPort::Open(line->SlavePath().c_str(), &error).reset();
    ASSERT_EQ(0, ::ioctl(other, TIOCGEXCL, &exclusive));
    EXPECT_EQ(0, exclusive) << "the flag this open set outlived it";
    ::close(other);
}
