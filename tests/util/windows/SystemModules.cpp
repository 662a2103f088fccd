#include "tests/util/SystemModules.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/ModuleFiles.h"
#include "util/VersionText.h"

void ExpectOwnVersionResourceAndDllVersions(const std::string& ownPath) {
    char version[32] = "unchanged";
    // This test program carries the version resource 10.0.1234.5.
    GetFileVersionText(ownPath.c_str(), version, sizeof version);
    EXPECT_STREQ("10.00.1234.05", version);
    EXPECT_GT(platform::GetDllVersion("comctl32.dll"), 0u) << "it exports DllGetVersion";
    // Its manifest, as every program's, asks for common controls 6 (the loader
    // then redirects comctl32.dll to them) and makes it DPI aware.
    ACTCTX_SECTION_KEYED_DATA redirection{};
    redirection.cbSize = sizeof redirection;
    EXPECT_TRUE(::FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                           "comctl32.dll", &redirection))
        << "common controls 6";
    EXPECT_TRUE(::IsProcessDPIAware());
    EXPECT_EQ(0u, platform::GetDllVersion("kernel32.dll")) << "no DllGetVersion export";
}
