#include "platform/BridgeLatency.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char kDevice[] = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_1D50+PID_6130+BRVKTEST";

// A bridge of the common driver on COM9 as its registry parameters show it.
bool SetBridge(DWORD latencyMs) {
    HKEY key = nullptr;
    const std::string parameters = std::string(kDevice) + "\\0000\\Device Parameters";
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        return false;
    const char port[] = "COM9";
    const bool ok =
        ::RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                         sizeof port) == ERROR_SUCCESS &&
        ::RegSetValueExA(key, "LatencyTimer", 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&latencyMs),
                         sizeof latencyMs) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

}  // namespace

TEST(BridgeLatency, TheDriversTimerIsReadAndAdvisedOnNeverChanged) {
    if (!SetBridge(16))
        GTEST_SKIP() << "the registry here takes no device parameters";
    {
        const platform::LowLatencyHold hold("\\\\.\\COM9");
        EXPECT_EQ(16, hold.TimerMs());
        EXPECT_FALSE(hold.Lowered());
        EXPECT_NE(std::string::npos, hold.Advice().find("set Latency Timer to 1 ms"))
            << hold.Advice();
    }
    EXPECT_EQ(0, platform::LowLatencyHold("COM8").TimerMs()) << "another port";
    ASSERT_TRUE(SetBridge(1));
    EXPECT_EQ("", platform::LowLatencyHold("com9").Advice()) << "already low";
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDevice);
}
