#include "platform/PortTable.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    ASSERT_EQ(0, ::setenv("BREVIK_PORTS", "/dev/one::/dev/two", 1));
    EXPECT_EQ((std::vector<std::string>{"/dev/one", "/dev/two"}), PortTable::Entries());
    ASSERT_EQ(0, ::setenv("BREVIK_PORTS", "", 1));
    EXPECT_TRUE(PortTable::Entries().empty()) << "set but empty is an empty table";
    EXPECT_FALSE(PortTable::Resolve("COM1"));
    PortTable::SetOverride({"/dev/three"});
    EXPECT_EQ("/dev/three", PortTable::Resolve("COM1").value()) << "the override comes first";
    PortTable::ClearOverride();
    ::unsetenv("BREVIK_PORTS");
}

TEST(PortTable, SystemScanListsOnlyDevicePaths) {
    for (const std::string& path : PortTable::ScanSystemPorts()) {
        EXPECT_EQ(0u, path.rfind("/dev/", 0)) << path;
        EXPECT_EQ(std::string::npos, path.find("/dev/tty0")) << "no virtual consoles";
    }
}
