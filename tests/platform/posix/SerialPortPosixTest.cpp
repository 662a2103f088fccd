#include "platform/SerialPort.h"

#include <gtest/gtest.h>

#include <string>

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
