#include "platform/PortAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/GroupAdvice.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(PortAccess, JoiningTheGroupIsAdvisedOnlyForAGroupMadeForSerialPorts) {
    for (const auto& [group, joins] : std::vector<std::pair<std::string, bool>>{
             {"dialout", true}, {"uucp", true}, {"root", false}, {"disk", false}, {"", false}}) {
        const std::string advice = platform::PermissionAdviceForGroup(group);
        EXPECT_EQ(joins, advice.find("usermod") != std::string::npos) << group << ": " << advice;
        EXPECT_EQ(!joins, advice.find("joining it is no answer") != std::string::npos) << group;
    }
}
