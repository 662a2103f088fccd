#include "platform/Conventions.h"
#include "platform/Environment.h"
#include "platform/LineSource.h"
#include "platform/PortTable.h"
#include "platform/SystemPorts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using platform::PortEntry;
using platform::PortTable;

TEST(PortTable, ComNamesParseOnlyInRange) {
    EXPECT_EQ(1, PortTable::ParseComNumber("COM1"));
    EXPECT_EQ(255, PortTable::ParseComNumber("COM255"));
    EXPECT_EQ(12, PortTable::ParseComNumber("com12"));
    EXPECT_EQ(0, PortTable::ParseComNumber("COM0"));
    EXPECT_EQ(0, PortTable::ParseComNumber("COM256"));
    EXPECT_EQ(0, PortTable::ParseComNumber("COM"));
    EXPECT_EQ(0, PortTable::ParseComNumber("COM1x"));
    EXPECT_EQ(0, PortTable::ParseComNumber("LPT1"));
    EXPECT_EQ(0, PortTable::ParseComNumber(nullptr));
}

TEST(PortTable, OverrideNamesTheEntriesInOrder) {
    PortTable::SetOverride({"/dev/pts/a", "/dev/pts/b"});
    EXPECT_EQ("/dev/pts/b", PortTable::Resolve("COM2").value());
    EXPECT_FALSE(PortTable::Resolve("COM3")) << "beyond the table";
    EXPECT_FALSE(PortTable::Resolve("ttyS0"));
    EXPECT_EQ("/dev/elsewhere", PortTable::Resolve("/dev/elsewhere").value());
    EXPECT_EQ(1, PortTable::NumberOfPath("/dev/pts/a"));
    EXPECT_EQ(255, PortTable::NumberOfPath("/dev/elsewhere"));
    PortTable::ClearOverride();
}

TEST(PortTable, EnvironmentListAndEmptyList) {
    const std::string sep(1, platform::kPathListSeparator);
    ASSERT_TRUE(platform::SetEnvironmentValue("BREVIK_PORTS",
                                              ("/dev/one" + sep + sep + "/dev/two").c_str()));
    EXPECT_EQ((std::vector<std::string>{"/dev/one", "/dev/two"}), PortTable::Entries());
    // A path relative to the working folder names the same file wherever it
    // is opened; a COM name stays one.
    const std::filesystem::path here = std::filesystem::current_path();
    ASSERT_TRUE(platform::SetEnvironmentValue("BREVIK_PORTS", ("./w1" + sep + "a/../w2").c_str()));
    EXPECT_EQ((std::vector<std::string>{(here / "w1").lexically_normal().string(),
                                        (here / "w2").lexically_normal().string()}),
              PortTable::Entries());
    EXPECT_EQ("COM3", PortTable::AbsoluteName("COM3"));
    ASSERT_TRUE(platform::SetEnvironmentValue("BREVIK_PORTS", ""));
    EXPECT_TRUE(PortTable::Entries().empty()) << "set but empty is an empty table";
    EXPECT_FALSE(PortTable::Resolve("COM1"));
    PortTable::SetOverride({"/dev/three"});
    EXPECT_EQ("/dev/three", PortTable::Resolve("COM1").value()) << "the override comes first";
    PortTable::ClearOverride();
    platform::SetEnvironmentValue("BREVIK_PORTS", nullptr);
}

// Lines of a registered source (as the simulator's loopback lines) are named
// by paths of their own.
class NamedSource : public platform::LineSource {
  public:
    const char* Kind() const override { return "named"; }
    bool Claims(const char* name) const override { return std::strncmp(name, "@line", 5) == 0; }
    std::unique_ptr<platform::SerialLine> Open(const char*, platform::OpenError* error) override {
        *error = platform::OpenError::NotFound;
        return nullptr;
    }
};

TEST(PortTable, ListNumbersPathNamesAndTheDeviceNamespace) {
    static NamedSource source;
    platform::RegisterLineSource(&source);
    EXPECT_FALSE(PortTable::IsPathName("@other9"));
    PortTable::SetOverride({"/dev/pts/a", "@line9"});
    const std::vector<PortEntry> list = PortTable::List();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(1, list[0].number);
    EXPECT_EQ("/dev/pts/a", list[0].path);
    EXPECT_EQ(2, list[1].number);
    EXPECT_EQ("@line9", list[1].path);

    EXPECT_TRUE(PortTable::IsPathName("@line9"));
    EXPECT_TRUE(PortTable::IsPathName("\\\\.\\COM12"));
    EXPECT_FALSE(PortTable::IsPathName("COM1"));
    EXPECT_EQ("@line9", PortTable::Resolve("@line9").value());
    EXPECT_EQ(2, PortTable::NumberOfPath("@line9"));
    // In a table, COMn is the n-th entry whatever form the entries have; a
    // path that is not in it names itself (no number of the table).
    EXPECT_EQ(255, PortTable::NumberOfPath("\\\\.\\COM12"));
    PortTable::SetOverride({"\\\\.\\COM10", "\\\\.\\COM11", "/dev/pts/a"});
    EXPECT_EQ("\\\\.\\COM10", PortTable::Resolve("COM1").value());
    EXPECT_EQ(1, PortTable::NumberOfPath("\\\\.\\COM10"));
    EXPECT_EQ(2, PortTable::NumberOfPath("\\\\.\\COM11"));
    EXPECT_EQ(3, PortTable::NumberOfPath("/dev/pts/a"));
    PortTable::ClearOverride();
}
