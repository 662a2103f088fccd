// doctor on WSL 2: nothing said off it or once a port is there; otherwise
// what keeps the device away (nothing passed on from Windows, no driver, no
// port yet), each with the step that brings it.
#include "platform/linux/WslCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

TEST(WslCheck, SaysWhatKeepsAUsbSerialDeviceAwayAndHowToBringIt) {
    struct Case {
        platform::WslFacts facts;
        const char* says;  // "" for nothing
    };
    const Case cases[] = {
        {{"6.1.0-28-amd64", false, false, false}, ""},
        {{"5.15.153.1-microsoft-standard-WSL2", true, true, true}, ""},
        {{"5.15.153.1-microsoft-standard-WSL2", false, false, false}, "usbipd attach --wsl"},
        {{"5.15.153.1-microsoft-standard-WSL2", true, false, false}, "sudo modprobe ftdi_sio"},
        {{"5.15.153.1-microsoft-standard-WSL2", true, true, false}, "usbipd detach"},
    };
    for (const Case& c : cases) {
        const std::vector<platform::Finding> found = platform::WslFindings(c.facts);
        if (*c.says == '\0') {
            EXPECT_TRUE(found.empty()) << c.facts.kernelRelease;
            continue;
        }
        ASSERT_EQ(1u, found.size()) << c.says;
        EXPECT_THAT(found[0].problem, ::testing::HasSubstr("WSL 2"));
        EXPECT_THAT(found[0].fix, ::testing::HasSubstr(c.says));
    }
}
