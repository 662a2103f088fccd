#include "platform/Environment.h"
#include "platform/PortTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using platform::PortEntry;
using platform::PortTable;

TEST(PortTable, SystemScanListsOnlyDevicePaths) {
    for (const std::string& path : PortTable::ScanSystemPorts())
        EXPECT_EQ(0u, path.rfind("\\\\.\\COM", 0)) << path;
}

TEST(PortTable, WithoutATableComNIsTheSystemsOwnPortN) {
    const char* saved = std::getenv("BREVIK_PORTS");
    const std::string previous = saved != nullptr ? saved : "";
    platform::SetEnvironmentValue("BREVIK_PORTS", nullptr);
    PortTable::ClearOverride();
    EXPECT_EQ("\\\\.\\COM7", PortTable::Resolve("COM7").value());
    EXPECT_EQ("\\\\.\\COM255", PortTable::Resolve("com255").value());
    for (const PortEntry& port : PortTable::List())
        EXPECT_EQ("\\\\.\\COM" + std::to_string(port.number), port.path);
    platform::SetEnvironmentValue("BREVIK_PORTS", saved != nullptr ? previous.c_str() : nullptr);
}
