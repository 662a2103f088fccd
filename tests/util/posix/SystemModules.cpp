#include "tests/util/SystemModules.h"

#include <gtest/gtest.h>

#include "platform/ModuleFiles.h"
#include "util/VersionText.h"

void ExpectOwnVersionResourceAndDllVersions(const std::string& ownPath) {
    char version[32] = "unchanged";
    GetFileVersionText(ownPath.c_str(), version, sizeof version);
    EXPECT_STREQ("", version) << "no version resources here";
    EXPECT_EQ(0u, platform::GetDllVersion("libc.so.6"));
}
