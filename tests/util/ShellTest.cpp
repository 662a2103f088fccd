#include <gtest/gtest.h>

#include <string>

#include "platform/Conventions.h"
#include "platform/ModuleFiles.h"
#include "tests/util/SystemModules.h"
#include "util/CpuClock.h"
#include "util/ShellPath.h"
#include "util/VersionText.h"

namespace {

// Writes a path with '/' and gives it back with the system's separator.
std::string P(std::string path) {
    for (char& c : path)
        c = c == '/' ? platform::kPathSeparator : c;
    return path;
}

}  // namespace

TEST(FileVersionText, FieldWidthsOfEachPart) {
    char text[32];
    EXPECT_EQ(13u, FormatFileVersion(text, sizeof text, (10u << 16) | 0, (1234u << 16) | 5));
    EXPECT_STREQ("10.00.1234.05", text);
    FormatFileVersion(text, sizeof text, (1u << 16) | 2, (3u << 16) | 4);
    EXPECT_STREQ("1.02.0003.04", text);
    char tiny[6];
    EXPECT_EQ(5u, FormatFileVersion(tiny, sizeof tiny, (1u << 16) | 2, (3u << 16) | 4));
    EXPECT_STREQ("1.02.", tiny);
}

TEST(CombinePath, JoinsStripsAndCanonicalises) {
    char out[kShellPathCapacity];
    ASSERT_TRUE(CombinePath("help.htm", P("/opt/brevik/bin/brevik.exe").c_str(), true, out));
    EXPECT_EQ(P("/opt/brevik/bin/help.htm"), out) << "the base's file name goes";
    ASSERT_TRUE(
        CombinePath(P("../doc/./help.htm").c_str(), P("/opt/brevik/bin").c_str(), false, out));
    EXPECT_EQ(P("/opt/brevik/doc/help.htm"), out);
    ASSERT_TRUE(CombinePath(P("../../../x").c_str(), P("/opt").c_str(), false, out));
    EXPECT_EQ(P("/x"), out) << "never above the root";
    ASSERT_TRUE(CombinePath("x", "", false, out));
    EXPECT_EQ(P("/x"), out);

    const std::string longBase = P("/") + std::string(300, 'a');
    EXPECT_FALSE(CombinePath("file", longBase.c_str(), false, out)) << "does not fit";
    EXPECT_STREQ("", out);
    EXPECT_FALSE(CombinePath(nullptr, "/", false, out));
    EXPECT_FALSE(CombinePath("x", nullptr, false, out));
}

TEST(CpuClock, MeasuresAPlausibleClockInOneSecond) {
#if defined(__x86_64__) || defined(__i386__)
    const int32_t mhz = MeasureCpuMhz();
    EXPECT_GT(mhz, 100);
    EXPECT_LT(mhz, 20000);
#else
    EXPECT_EQ(0, MeasureCpuMhz());
#endif
}

TEST(ModuleFiles, OwnDirectoryVersionResourceAndDllVersions) {
    char directory[kShellPathCapacity];
    GetModuleDirectory(directory);
    const std::string own = platform::ModuleFilePath();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.substr(0, own.find_last_of(platform::kPathSeparator) + 1), directory);

    char version[32] = "unchanged";
    ExpectOwnVersionResourceAndDllVersions(own);
    EXPECT_EQ(0u, platform::GetDllVersion("brevik-no-such-library"));
    GetFileVersionText(nullptr, version, sizeof version);
    EXPECT_STREQ("", version);
}
