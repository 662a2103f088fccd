// Station mode (update --watch) against 8 simulated devices plugged in 100 ms
// apart, each paced at 115200 baud and given a 64 KiB package: every one
// flashed within 1.2 times one device's update plus the 0.7 s the plugs are
// spread over. The devices join the program's port table as they are
// plugged, which the watch hears as it hears the system's events.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/RunCommand.h"
#include "bench/BestOf.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "sim/VirtualDevice.h"

namespace {

constexpr int kDevices = 8;
constexpr auto kPlugSpread = std::chrono::milliseconds(100);
constexpr double kGoalFactor = 1.2;

int Run(std::vector<const char*> words) {
    words.insert(words.begin(), "brevik");
    CliArguments args;
    ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
    std::FILE* sink = std::tmpfile();
    BKQuillex device;
    const int code = RunCliCommand(args, device, sink, sink, nullptr);
    std::fclose(sink);
    return code;
}

size_t LinesIn(const std::string& path) {
    std::ifstream in(path);
    size_t lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

std::unique_ptr<sim::VirtualDevice> PacedDevice() {
    sim::DeviceConfig config;
    config.paceAtLineRate = true;
    auto device = std::make_unique<sim::VirtualDevice>(config);
    device->Start();
    return device;
}

}  // namespace

int main() {
    const std::string package = "/tmp/brevik-station-bench.bfw";
    const std::string log = "/tmp/brevik-station-bench.log";
    {
        const std::vector<uint8_t> bytes = FirmwarePackage(65535, 2, 12, 'Q');
        std::ofstream(package, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        std::remove(log.c_str());
    }

    // One device, the whole command.
    const std::unique_ptr<sim::VirtualDevice> alone = PacedDevice();
    platform::PortTable::SetOverride({alone->PortPath()});
    const bench::Clock::time_point oneStart = bench::Clock::now();
    const int oneCode = Run({"update", package.c_str()});
    const double oneMs = bench::Ms(bench::Clock::now() - oneStart);

    std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
    for (int i = 0; i < kDevices; ++i)
        devices.push_back(PacedDevice());
    platform::PortTable::SetOverride({});
    int stationCode = -1;
    std::thread station([&] {
        stationCode = Run({"update", "--watch", "--log", log.c_str(), package.c_str()});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // watching
    const bench::Clock::time_point start = bench::Clock::now();
    std::vector<std::string> plugged;
    for (int i = 0; i < kDevices; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(kPlugSpread);
        plugged.push_back(devices[i]->PortPath());
        platform::PortTable::SetOverride(plugged);
    }
    const double spreadMs = bench::Ms(bench::Clock::now() - start);
    while (LinesIn(log) < kDevices && bench::Ms(bench::Clock::now() - start) < 120000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double allMs = bench::Ms(bench::Clock::now() - start);
    const size_t done = LinesIn(log);
    std::raise(SIGINT);
    station.join();

    int updated = 0;
    for (const auto& device : devices)
        updated += device->State().uploadsCompleted;
    const double goalMs = kGoalFactor * oneMs + spreadMs;
    const bool ok = oneCode == 0 && done == kDevices && updated == kDevices && allMs <= goalMs;
    std::printf("one device, 64 KiB at 115200 baud      %7.0f ms\n", oneMs);
    std::printf(
        "station, %d devices plugged %lld ms apart %7.0f ms   goal %5.0f ms "
        "(1.2 x one + %.0f ms of plugs)   %s\n",
        kDevices, static_cast<long long>(kPlugSpread.count()), allMs, goalMs, spreadMs,
        ok ? "ok" : "SLOW");
    std::printf("    %d of %d devices updated; the station ended with %d on Ctrl+C\n", updated,
                kDevices, stationCode);
    std::remove(package.c_str());
    std::remove(log.c_str());
    return ok ? 0 : 1;
}
