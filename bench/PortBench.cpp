// Figures on a system serial port with a paced virtual device behind it
// (brevik-sim --pace), printed beside their floors. Built for Linux and for
// Windows, so the same program measures a pseudo-terminal natively and a
// COM port under Wine (tools/bench-windows.sh runs both):
//   (a) detection on the port: floor = the 100 ms settling pause, the 60 ms
//       extra pause of COM5 and up, and one version exchange on the same
//       port; within 10%;
//   (b) a 300 ms total read time-out with nothing coming: 300-320 ms;
//   (c) the device link's 200 ms interval time-out: a 3-byte reply to a
//       10-byte read ends the read 200 ms after its last byte;
//   (d) an upload of a 64 KiB body at 115200 baud: within 3% of wire time.
// Usage: brevik-port-bench PORT (COMn; the device's firmware becomes 2.12.Q)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BestOf.h"
#include "devicelink/BKQuillex.h"
#include "package/PackageBuilder.h"
#include "platform/Environment.h"
#include "platform/PortTable.h"
#include "platform/SerialPort.h"

namespace {

using bench::BestOf;
using bench::Clock;
using bench::Ms;

int g_failures = 0;

void Report(const char* scenario, double measured, const char* unit, double floor, bool ok) {
    g_failures += !ok;
    std::printf("%-44s %10.1f %s %10.1f %s %6.1f%%  %s\n", scenario, measured, unit, floor, unit,
                100.0 * measured / floor, ok ? "ok" : "OUT");
}

std::unique_ptr<platform::SerialPort> OpenAt115200(const std::string& path) {
    auto port = platform::SerialPort::Open(path.c_str(), nullptr);
    if (!port)
        return nullptr;
    platform::LineState state;
    port->GetState(&state);
    state.BaudRate = 115200;
    port->SetState(state);
    port->Purge(platform::kPurgeRxClear | platform::kPurgeTxClear);
    return port;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: brevik-port-bench PORT\n");
        return 2;
    }
    const char* name = argv[1];
    const int number = platform::PortTable::ParseComNumber(name);
    const std::optional<std::string> path = platform::PortTable::Resolve(name);
    if (number == 0 || !path) {
        std::fprintf(stderr, "brevik-port-bench: %s is not a port here\n", name);
        return 2;
    }
    std::printf("%s (%s)%s\n", name, path->c_str(),
                platform::RunningUnderWine() ? " under Wine" : "");

    BKQuillex q;
    q.InitPort(name, 115200);
    const double exchange = BestOf(50, [&] { q.RequestFirmwareVersion(nullptr); });
    q.ClosePort();
    const double detect = BestOf(10, [&] {
        q.DetectHardwareOnPort(number, nullptr, 0, nullptr);
        q.ClosePort();
    });
    const double floor = 100.0 + (number >= 5 ? 60.0 : 0.0) + exchange;
    Report("(a) detection on the port", detect, "ms", floor, detect <= floor * 1.10);
    const double open = BestOf(10, [&] {
        q.InitPort(name, 115200);
        q.ClosePort();
    });
    std::printf("    of which opening, configuring and closing the port: %.1f ms\n", open);

    {
        auto port = OpenAt115200(*path);
        if (!port) {
            std::fprintf(stderr, "brevik-port-bench: cannot open %s\n", name);
            return 1;
        }
        port->SetTimeouts({0, 0, 300, 0, 300});
        uint8_t buffer[16];
        uint32_t got = 0;
        const double silent = BestOf(1, [&] { port->Read(buffer, 1, &got); });
        Report("(b) 300 ms total read time-out, silence", silent, "ms", 300.0,
               silent >= 300.0 && silent <= 320.0 && got == 0);

        // The link's own settings: 200 ms interval, 1 ms a byte plus 300 ms.
        port->SetTimeouts({200, 1, 300, 0, 300});
        uint32_t written = 0;
        Clock::time_point sent = Clock::now();
        port->Write(reinterpret_cast<const uint8_t*>("VV"), 2, &written);
        port->Read(buffer, 1, &got);
        const Clock::time_point firstByte = Clock::now();
        uint32_t rest = 0;
        port->Read(buffer + 1, 9, &rest);
        const double afterReply = Ms(Clock::now() - firstByte);
        (void)sent;
        Report("(c) 200 ms interval ends a short reply", afterReply, "ms", 200.0,
               got == 1 && rest == 2 && afterReply >= 195.0 && afterReply <= 240.0);
    }

    constexpr size_t kBody = 65536;
    constexpr size_t kBlocks = kBody / 256;
    const std::string dir = platform::MakeScratchFolder("brevik-port-bench-");
    const std::string package = dir + "/bench.bfw";
    WritePackageFile(package, FirmwarePackage(kBody - 1, 2, 12, 'Q'));
    q.DetectHardwareOnPort(number, nullptr, 0, nullptr);
    const Clock::time_point start = Clock::now();
    const int result = q.UpdateFirmware(package.c_str(), nullptr);
    const double seconds = Ms(Clock::now() - start) / 1000.0;
    q.ClosePort();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    // Host: command, body, checksum; device: command reply, a reply a block,
    // final status; 10 bits a byte.
    const double wireSeconds = (4 + kBody + 1 + 1 + kBlocks + 1) * 10 / 115200.0;
    if (result != QX_S_OK)
        std::printf("upload failed: %s\n", ResultCodeName(result));
    Report("(d) upload of 64 KiB paced at 115200", seconds, "s ", wireSeconds,
           result == QX_S_OK && seconds <= wireSeconds * 1.03);
    return g_failures == 0 ? 0 : 1;
}
