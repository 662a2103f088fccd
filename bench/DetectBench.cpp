// Detection times against the virtual device, printed beside their floors:
//   (a) the device on COM1 at 115200: floor = the 100 ms settling pause plus
//       one version exchange; the scan must stay within 10% of it;
//   (b) the device at 921600 on COM3 behind two silent pseudo-terminals;
//   (c) a full scan of an empty port table (255 names that fail to open):
//       must take under 10 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/BestOf.h"
#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"
#include "sim/DeviceLines.h"
#include "sim/VirtualDevice.h"

namespace {

using bench::BestOf;
using bench::Clock;
using bench::Ms;

// One "VV" round trip on an open port, best of many.
double VersionExchangeMs(BKQuillex& q) {
    return BestOf(200, [&] { q.RequestFirmwareVersion(nullptr); });
}

}  // namespace

int main() {
    int failures = 0;
    std::printf("%-52s %10s %10s %8s\n", "scenario", "measured", "floor", "verdict");

    {
        sim::VirtualDevice device;
        device.Start();
        platform::PortTable::SetOverride({device.PortPath()});
        BKQuillex q;
        q.InitPort("COM1", 115200);
        const double exchange = VersionExchangeMs(q);
        q.ClosePort();
        const double floor = 100.0 + exchange;
        const double measured = BestOf(10, [&] {
            q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort);
            q.ClosePort();
        });
        const bool ok = measured <= floor * 1.10;
        failures += !ok;
        std::printf("%-52s %8.2f ms %8.2f ms %8s\n", "(a) COM1 at 115200", measured, floor,
                    ok ? "ok" : "SLOW");
    }
    {
        auto silent1 = sim::CreateDeviceLine();
        auto silent2 = sim::CreateDeviceLine();
        sim::DeviceConfig config;
        config.initialBaud = 921600;
        BKQuillex q;
        // Per silent port: settling pause and three requests that time out
        // (110 ms + 3 ms each); on COM3 the pause and two requests, the first
        // lost at 115200.
        const double floor = 2 * (100.0 + 3 * 113.0) + 100.0 + 113.0;
        double measured = 1e18;
        for (int run = 0; run < 3; ++run) {
            // A fresh device each run: closing the port brings it to 115200.
            sim::VirtualDevice device(config);
            device.Start();
            platform::PortTable::SetOverride(
                {silent1->HostPath(), silent2->HostPath(), device.PortPath()});
            Clock::time_point start = Clock::now();
            q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort);
            measured = std::min(measured, Ms(Clock::now() - start));
            q.ClosePort();
        }
        std::printf("%-52s %8.2f ms %8.2f ms %8s\n", "(b) COM3 at 921600 behind two silent ports",
                    measured, floor, measured <= floor * 1.10 ? "ok" : "slow");
    }
    {
        platform::PortTable::SetOverride({});
        BKQuillex q;
        const double measured =
            BestOf(20, [&] { q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort); });
        const bool ok = measured < 10.0;
        failures += !ok;
        std::printf("%-52s %8.3f ms %8.2f ms %8s\n", "(c) empty table, 255 names", measured, 10.0,
                    ok ? "ok" : "SLOW");
    }
    platform::PortTable::ClearOverride();
    return failures == 0 ? 0 : 1;
}
