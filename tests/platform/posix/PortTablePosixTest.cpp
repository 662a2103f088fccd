#include "platform/PortTable.h"

#include <gtest/gtest.h>

#include <string>

using platform::PortTable;

TEST(PortTable, SystemScanListsOnlyDevicePaths) {
    for (const std::string& path : PortTable::ScanSystemPorts()) {
        EXPECT_EQ(0u, path.rfind("/dev/", 0)) << path;
        EXPECT_EQ(std::string::npos, path.find("/dev/tty0")) << "no virtual consoles";
    }
}
