#include "tests/util/SystemModules.h"

#include <gtest/gtest.h>

#include "platform/ModuleFiles.h"
#include "util/VersionText.h"

void ExpectOwnVersionResourceAndDllVersions(const std::string& ownPath) {
    char version[32] = "unchanged";
    // This test program carries the version resource 10.0.1234.5.
    GetFileVersionText(ownPath.c_str(), version, sizeof version);
    EXPECT_STREQ("10.00.1234.05", version);
    EXPECT_GT(platform::GetDllVersion("comctl32.dll"), 0u) << "it exports DllGetVersion";
    EXPECT_EQ(0u, platform::GetDllVersion("kernel32.dll")) << "no DllGetVersion export";
}
