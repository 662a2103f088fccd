// The command line's parallel and fast paths against their floors:
//   (a) detect --all over 8 silent pseudo-terminals and one device: at most
//       1.3x the time of detecting on the device's port alone;
//   (b) update --all of 4 paced virtual devices: at most 1.2x one paced update;
//   (c) update --fast of a 65536-byte body, paced: at most 1.05x the wire
//       time at 921600 baud (5.7 s at 115200).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/RunCommand.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "sim/DeviceLines.h"
#include "sim/VirtualDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs one command line in-process, quietly; seconds taken, or -1 when it
// did not end as expected.
double Run(std::vector<const char*> words, int expected = kCliSucceeded) {
    words.insert(words.begin(), "brevik");
    words.push_back("--quiet");
    CliArguments args;
    if (!ParseCliArguments(static_cast<int>(words.size()), words.data(), &args).run)
        return -1;
    std::FILE* sink = std::tmpfile();
    BKQuillex device;
    const Clock::time_point start = Clock::now();
    const int code = RunCliCommand(args, device, sink, sink, nullptr);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fclose(sink);
    return code == expected ? seconds : -1;
}

double Best(int runs, const std::function<double()>& once) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, once());
    return best;
}

int Report(const char* what, double value, double floor, double limit, const char* unit) {
    const bool ok = value > 0 && value <= floor * limit;
    std::printf("%s %8.3f %s   floor %8.3f %s   %5.2fx (limit %.2fx)  %s\n", what, value, unit,
                floor, unit, value / floor, limit, ok ? "ok" : "SLOW");
    return ok ? 0 : 1;
}

std::unique_ptr<sim::VirtualDevice> Device(bool paced) {
    sim::DeviceConfig config;
    config.paceAtLineRate = paced;
    auto device = std::make_unique<sim::VirtualDevice>(config);
    device->Start();
    return device;
}

}  // namespace

int main() {
    int failures = 0;
    const std::string small = "/tmp/brevik-cli-bench-small.bfw";
    const std::string large = "/tmp/brevik-cli-bench-large.bfw";
    WritePackageFile(small, FirmwarePackage(8191, 2, 12, 'Q'));
    WritePackageFile(large, FirmwarePackage(65535, 2, 12, 'Q'));

    {
        auto device = Device(false);
        std::vector<std::unique_ptr<platform::DeviceLine>> silent;
        std::vector<std::string> table;
        for (int i = 0; i < 8; ++i) {
            silent.push_back(sim::CreateDeviceLine());
            table.push_back(silent.back()->HostPath());
        }
        table.push_back(device->PortPath());
        // The floor: one port, the slower of the device's and a silent one's
        // (a silent port is asked at every rate before it is given up).
        platform::PortTable::SetOverride({device->PortPath()});
        const double found = Best(3, [] { return Run({"detect"}); });
        platform::PortTable::SetOverride({table[0]});
        const double silentPort = Best(3, [] { return Run({"detect"}, kCliNoDevice); });
        platform::PortTable::SetOverride(table);
        const double all = Best(3, [] { return Run({"detect", "--all"}); });
        failures +=
            Report("(a) detect --all, 9 ports ", all, std::max(found, silentPort), 1.3, "s");
    }
    {
        std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
        std::vector<std::string> table;
        for (int i = 0; i < 4; ++i) {
            devices.push_back(Device(true));
            table.push_back(devices.back()->PortPath());
        }
        platform::PortTable::SetOverride({table[0]});
        const double one = Best(2, [&] {
            return Run({"update", "--allow-reinstall", small.c_str()});
        });
        platform::PortTable::SetOverride(table);
        const double all = Best(2, [&] {
            return Run({"update", "--all", "--allow-reinstall", small.c_str()});
        });
        failures += Report("(b) update --all, 4 paced", all, one, 1.2, "s");
    }
    {
        // The upload as --fast runs it: the link rate raised, the body sent.
        auto device = Device(true);
        platform::PortTable::SetOverride({device->PortPath()});
        const double wire = (4 + 65536 + 1 + 1 + 256 + 1) * 10 / 921600.0;
        double upload = 1e9;
        for (int i = 0; i < 2; ++i) {
            BKQuillex q;
            q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort);
            if (q.SetUSBBaud(kBaudCode921600, 0) != QX_S_OK)
                break;
            const Clock::time_point start = Clock::now();
            const int result = q.UpdateFirmware(large.c_str(), nullptr);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            q.SetUSBBaud(kBaudCode115200, 0);
            q.ClosePort();
            if (result == QX_S_OK)
                upload = std::min(upload, seconds);
        }
        failures += Report("(c) --fast upload, 64 KiB ", upload, wire, 1.05, "s");
        const double command = Run({"update", "--fast", "--allow-reinstall", large.c_str()});
        const double slow = Run({"update", "--allow-reinstall", large.c_str()});
        std::printf("    the whole command: %.3f s with --fast, %.3f s without\n", command, slow);
    }
    std::remove(small.c_str());
    std::remove(large.c_str());
    platform::PortTable::ClearOverride();
    return failures == 0 ? 0 : 1;
}
