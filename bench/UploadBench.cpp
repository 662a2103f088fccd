// Firmware upload of a 65536-byte body to the virtual device:
//   (a) unpaced: blocks per second against the floor of a bare
//       pseudo-terminal round trip (one 256-byte write, one byte back);
//       the upload must reach 90% of the floor's rate;
//   (b) paced at 115200 baud (10 bits a byte): total time against the wire
//       time of every byte sent and received; must be within 3% of it;
//   (c) the paced upload again with the session captured to a file: within
//       1% of the time without capture.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "devicelink/BKQuillex.h"
#include "diagnostics/capture/CaptureFile.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "platform/PseudoTerminal.h"
#include "platform/SerialPort.h"
#include "sim/VirtualDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBody = 65536;
constexpr size_t kBlocks = kBody / 256;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Round trips per second of a 256-byte write answered by one byte, with a
// thread that answers as fast as it reads.
double BareRoundTripsPerSecond() {
    auto pty = platform::PseudoTerminal::Create();
    auto port = platform::SerialPort::Open(pty->SlavePath().c_str(), nullptr);
    platform::LineState state;
    port->GetState(&state);
    state.BaudRate = 115200;
    port->SetState(state);
    port->SetTimeouts({200, 1, 6000, 0, 300});
    std::thread echo([&] {
        uint8_t buffer[512];
        size_t pending = 0;
        for (size_t done = 0; done < kBlocks;) {
            int n = pty->Read(buffer, sizeof buffer, 2000);
            if (n <= 0)
                return;
            pending += static_cast<size_t>(n);
            while (pending >= 256) {
                pending -= 256;
                const uint8_t ok = 'O';
                pty->Write(&ok, 1);
                ++done;
            }
        }
    });
    uint8_t block[256] = {};
    Clock::time_point start = Clock::now();
    for (size_t k = 0; k < kBlocks; ++k) {
        uint32_t n = 0;
        uint8_t reply;
        port->Write(block, 256, &n);
        port->Read(&reply, 1, &n);
    }
    const double seconds = Seconds(Clock::now() - start);
    echo.join();
    return kBlocks / seconds;
}

double UploadSeconds(bool paced, const std::string& path, const std::string& capturePath = "") {
    const capture::ScopedCapture capture(capturePath, "brevik_upload_bench");
    sim::DeviceConfig config;
    config.paceAtLineRate = paced;
    sim::VirtualDevice device(config);
    device.Start();
    platform::PortTable::SetOverride({device.PortPath()});
    BKQuillex q;
    q.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort);
    Clock::time_point start = Clock::now();
    const int result = q.UpdateFirmware(path.c_str(), nullptr);
    const double seconds = Seconds(Clock::now() - start);
    q.ClosePort();
    if (result != QX_S_OK)
        std::printf("upload failed: %s\n", ResultCodeName(result));
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const bool unpacedOnly = argc > 1 && std::string(argv[1]) == "--unpaced-only";
    const std::string path = "/tmp/brevik-upload-bench.bfw";
    WritePackageFile(path, FirmwarePackage(kBody - 1, 2, 12, 'Q'));
    int failures = 0;

    // Medians of many runs, interleaved: both figures ride on the
    // scheduler's wake-up latency, which varies from run to run.
    std::vector<double> floors, uploads;
    for (int i = 0; i < 15; ++i) {
        floors.push_back(BareRoundTripsPerSecond());
        uploads.push_back((kBlocks + 1) / UploadSeconds(false, path));
    }
    const double floorRate = Median(floors);
    const double uploadRate = Median(uploads);
    const bool fastEnough = uploadRate >= 0.9 * floorRate;
    failures += !fastEnough;
    std::printf("(a) unpaced upload   %9.0f blocks/s   floor %9.0f blocks/s   %5.1f%%  %s\n",
                uploadRate, floorRate, 100.0 * uploadRate / floorRate, fastEnough ? "ok" : "SLOW");

    if (unpacedOnly) {
        std::remove(path.c_str());
        return failures == 0 ? 0 : 1;
    }
    // Host sends the command, the body and its checksum; the device answers
    // the command, every block and the final status.
    const double wireBytes = 4 + kBody + 1 + 1 + kBlocks + 1;
    const double wireSeconds = wireBytes * 10 / 115200.0;
    const double pacedSeconds = std::min(UploadSeconds(true, path), UploadSeconds(true, path));
    const bool close = pacedSeconds <= wireSeconds * 1.03;
    failures += !close;
    std::printf("(b) paced at 115200  %9.3f s          wire  %9.3f s          %5.1f%%  %s\n",
                pacedSeconds, wireSeconds, 100.0 * pacedSeconds / wireSeconds,
                close ? "ok" : "SLOW");

    // Alternated, best of three each: the line's pacing dominates, so what is
    // left is what writing the capture costs.
    const std::string capturePath = "/tmp/brevik-upload-bench.cap";
    std::vector<double> plain, captured;
    for (int i = 0; i < 3; ++i) {
        plain.push_back(UploadSeconds(true, path));
        captured.push_back(UploadSeconds(true, path, capturePath));
    }
    const double plainBest = *std::min_element(plain.begin(), plain.end());
    const double capturedBest = *std::min_element(captured.begin(), captured.end());
    const bool cheap = capturedBest <= plainBest * 1.01;
    failures += !cheap;
    std::printf("(c) paced, captured  %9.3f s          plain %9.3f s          %5.1f%%  %s\n",
                capturedBest, plainBest, 100.0 * capturedBest / plainBest, cheap ? "ok" : "SLOW");
    std::remove(capturePath.c_str());
    std::remove(path.c_str());
    platform::PortTable::ClearOverride();
    return failures == 0 ? 0 : 1;
}
