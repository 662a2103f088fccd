// A 65536-byte firmware upload paced at 115200 baud through the simulator's
// bridge models, each printed beside its floor: the wire time of every byte
// plus one USB frame (1 ms) per acknowledged block.
//   (a) latency:16 with the tool lowering the timer to 1 ms: within 5%;
//   (b) the same with the timer left at 16 ms (nothing lowers it): printed
//       for comparison;
//   (c) cdc (a USB device of its own, 1 ms frames both ways): within 5%;
//   (d) the whole `brevik update --fast` over latency:16, the timer lowered,
//       detection and read-back included: at most 1.3 s (and, printed, the
//       same with the timer left at 16 ms).
//   (e) --fast over a bridge that reaches 115200, 230400 and 460800 only
//       (latency:16, timer lowered): 921600 is tried and left, and the
//       upload at 460800 is within 10% of its floor at that rate; the cost
//       of the rate left behind and the whole command are printed.
//   (f) detect with a Bluetooth port (rfcomm:30, 500 ms to connect) that
//       leads to no device before the device's port: within 10% of its
//       floor, that port's connect time plus what a silent local port costs
//       the scan; and, printed, detection of a device behind rfcomm links
//       of growing round trips, to show the reply windows' margin.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/RunCommand.h"
#include "devicelink/BKQuillex.h"
#include "package/PackageBuilder.h"
#include "platform/BridgeLatency.h"
#include "platform/Environment.h"
#include "platform/PortTable.h"
#include "sim/LoopbackLine.h"
#include "sim/VirtualDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBody = 65536;
constexpr size_t kBlocks = kBody / 256;

// A device paced at its line rate behind the bridge, whose latency timer
// (if any) stands under sysfs.
sim::DeviceConfig PacedThrough(const std::string& bridge, const std::string& sysfs) {
    sim::DeviceConfig config;
    config.paceAtLineRate = true;
    std::string error;
    sim::ParseBridge(bridge, &config.bridge, &error);
    config.sysfsRoot = sysfs;
    return config;
}

// The upload's seconds through the bridge; the tool's hold lowers the timer
// when the bridge's attribute is where it looks (sysfs: the stand-in's root).
double UploadSeconds(const std::string& bridge, const std::string& sysfs, const std::string& path) {
    sim::VirtualDevice device(PacedThrough(bridge, sysfs));
    device.Start(sim::DeviceLineKind::PseudoTerminal);
    platform::PortTable::SetOverride({device.PortPath()});
    BKQuillex q;
    q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort);
    const Clock::time_point start = Clock::now();
    int result;
    {
        const platform::LowLatencyHold hold(device.PortPath());
        result = q.UpdateFirmware(path.c_str(), nullptr);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    q.ClosePort();
    platform::PortTable::ClearOverride();
    if (result != QX_S_OK)
        std::printf("upload failed: %s\n", ResultCodeName(result));
    return seconds;
}

// --fast through a bridge that cannot make 921600: the seconds spent on the
// rates left behind, the upload's at the rate taken (0 when it failed).
struct FallenBack {
    double leaving = 0;
    double upload = 0;
    int rate = 0;
};

FallenBack FallBackAndUpload(const std::string& sysfs, const std::string& path) {
    sim::VirtualDevice device(PacedThrough("latency:16,rates:115200/230400/460800", sysfs));
    device.Start(sim::DeviceLineKind::PseudoTerminal);
    platform::PortTable::SetOverride({device.PortPath()});
    FallenBack f;
    BKQuillex q;
    {
        const platform::LowLatencyHold hold(device.PortPath());
        q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort);
        const Clock::time_point start = Clock::now();
        q.RaiseLinkRate(nullptr);
        const Clock::time_point raised = Clock::now();
        f.rate = LinkRateOfBaudCode(static_cast<int>(q.UsbBaudCode));
        const int result = q.UpdateFirmware(path.c_str(), nullptr);
        f.leaving = std::chrono::duration<double>(raised - start).count();
        f.upload =
            result == QX_S_OK ? std::chrono::duration<double>(Clock::now() - raised).count() : 0;
    }
    q.ClosePort();
    platform::PortTable::ClearOverride();
    return f;
}

// The brevik command of these words, run in-process over the given ports;
// seconds, or -1 when it failed.
double CommandSeconds(std::vector<const char*> words, const std::vector<std::string>& ports) {
    platform::PortTable::SetOverride(ports);
    words.insert(words.begin(), "brevik");
    words.push_back("--quiet");
    CliArguments args;
    ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
    std::FILE* sink = std::tmpfile();
    BKQuillex q;
    const Clock::time_point start = Clock::now();
    const int code = RunCliCommand(args, q, sink, sink, nullptr);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fclose(sink);
    platform::PortTable::ClearOverride();
    return code == kCliSucceeded ? seconds : -1;
}

// `brevik update --fast` through the bridge.
double FastCommandSeconds(const std::string& bridge, const std::string& sysfs,
                          const std::string& path) {
    sim::VirtualDevice device(PacedThrough(bridge, sysfs));
    device.Start(sim::DeviceLineKind::PseudoTerminal);
    return CommandSeconds({"update", "--fast", "--allow-reinstall", path.c_str()},
                          {device.PortPath()});
}

double DetectSeconds(const std::vector<std::string>& ports) {
    return CommandSeconds({"detect"}, ports);
}

// A line in memory with nothing answering on it; opening it takes connectMs.
std::unique_ptr<platform::DeviceLine> SilentLine(int connectMs) {
    std::unique_ptr<platform::DeviceLine> line =
        sim::CreateDeviceLine(sim::DeviceLineKind::Loopback);
    sim::ModelLoopbackConnect(line->HostPath(), connectMs, false);
    return line;
}

// Detection of a device behind a Bluetooth link of that round trip, alone:
// seconds (or -1) and the exchanges it took.
std::pair<double, size_t> DetectBehindRfcomm(int roundTripMs) {
    sim::DeviceConfig config;
    std::string error;
    sim::ParseBridge("rfcomm:" + std::to_string(roundTripMs), &config.bridge, &error);
    sim::VirtualDevice device(config);
    device.Start(sim::DeviceLineKind::Loopback);
    const double seconds = DetectSeconds({device.PortPath()});
    return {seconds, device.Exchanges().size()};
}

}  // namespace

int main() {
    const std::string path = "/tmp/brevik-bridge-bench.bfw";
    WritePackageFile(path, FirmwarePackage(kBody - 1, 2, 12, 'Q'));
    const std::string sysfs = "/tmp/brevik-bridge-bench-sys";
    platform::SetEnvironmentValue("BREVIK_SYSFS", sysfs.c_str());
    // Host: command, body, checksum; device: the command's answer, a byte a
    // block, the final status. One USB frame per acknowledged block.
    const double wire = (4.0 + kBody + 1 + 1 + kBlocks + 1) * 10 / 115200.0;
    const double floor = wire + kBlocks * 0.001;
    int failures = 0;

    const double lowered = UploadSeconds("latency:16", sysfs, path);
    failures += lowered > floor * 1.05;
    std::printf("(a) latency:16, timer lowered   %7.3f s   floor %7.3f s   %5.1f%%  %s\n", lowered,
                floor, 100.0 * lowered / floor, lowered <= floor * 1.05 ? "ok" : "SLOW");
    const double left = UploadSeconds("latency:16", "", path);
    std::printf("(b) latency:16, timer left      %7.3f s   floor %7.3f s   %+.2f s\n", left, floor,
                left - floor);
    const double cdc = UploadSeconds("cdc", "", path);
    failures += cdc > floor * 1.05;
    std::printf("(c) cdc                         %7.3f s   floor %7.3f s   %5.1f%%  %s\n", cdc,
                floor, 100.0 * cdc / floor, cdc <= floor * 1.05 ? "ok" : "SLOW");

    const double fast = FastCommandSeconds("latency:16", sysfs, path);
    failures += fast < 0 || fast > 1.3;
    std::printf("(d) update --fast, latency:16   %7.3f s   goal  %7.3f s            %s\n", fast,
                1.3, fast >= 0 && fast <= 1.3 ? "ok" : "SLOW");
    platform::SetEnvironmentValue("BREVIK_SYSFS", "/nonexistent");
    std::printf("    the same with the timer left at 16 ms: %.3f s\n",
                FastCommandSeconds("latency:16", "", path));
    platform::SetEnvironmentValue("BREVIK_SYSFS", sysfs.c_str());

    const FallenBack fell = FallBackAndUpload(sysfs, path);
    const double floor460 = (4.0 + kBody + 1 + 1 + kBlocks + 1) * 10 / 460800.0 + kBlocks * 0.001;
    const bool fellOk = fell.rate == 460800 && fell.upload > 0 && fell.upload <= floor460 * 1.1;
    failures += !fellOk;
    std::printf(
        "(e) --fast, rates to 460800     %7.3f s   floor %7.3f s   %5.1f%%  %s (at %d baud)\n",
        fell.upload, floor460, 100.0 * fell.upload / floor460, fellOk ? "ok" : "SLOW", fell.rate);
    std::printf("    921600 tried and left in %.3f s; the whole command: %.3f s\n", fell.leaving,
                FastCommandSeconds("latency:16,rates:115200/230400/460800", sysfs, path));

    constexpr int kConnectMs = 500;
    sim::VirtualDevice device;
    device.Start(sim::DeviceLineKind::PseudoTerminal);
    const double silentLocal = DetectSeconds({SilentLine(0)->HostPath(), device.PortPath()});
    const auto bluetooth = SilentLine(kConnectMs);
    const double silentBluetooth = DetectSeconds({bluetooth->HostPath(), device.PortPath()});
    const double detectFloor = silentLocal + kConnectMs / 1000.0;
    const bool detectOk = silentBluetooth > 0 && silentBluetooth <= detectFloor * 1.1;
    failures += !detectOk;
    std::printf("(f) detect, rfcomm:30 port first %6.3f s   floor %7.3f s   %5.1f%%  %s\n",
                silentBluetooth, detectFloor, 100.0 * silentBluetooth / detectFloor,
                detectOk ? "ok" : "SLOW");
    const auto [direct, exchanges] = DetectBehindRfcomm(0);
    std::printf(
        "    a device behind rfcomm (%zu exchanges; floor: %.3f s + one round trip "
        "each):\n    ",
        exchanges, direct);
    for (int roundTrip : {30, 60, 90, 120}) {
        const double behind = DetectBehindRfcomm(roundTrip).first;
        const double floorHere = direct + static_cast<double>(exchanges) * roundTrip / 1000.0;
        if (behind < 0)
            std::printf("  %d ms: not found", roundTrip);
        else
            std::printf("  %d ms: %.3f s (%.0f%%)", roundTrip, behind, 100.0 * behind / floorHere);
    }
    std::printf("\n");

    std::filesystem::remove_all(sysfs);
    std::remove(path.c_str());
    return failures == 0 ? 0 : 1;
}
