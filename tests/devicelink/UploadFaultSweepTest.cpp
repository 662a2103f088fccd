// Every fault kind at every reply of a three-transmission upload: the result
// is the protocol's, nothing fails as a success, and the device object, the
// port and the package file are as they were for the next command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "package/PackageBuilder.h"
#include "tests/support/Fakes.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

namespace {

// 600 bytes: blocks of 256, 256 and 88 + the sum, then the final status.
constexpr size_t kBody = 600;
constexpr int kTransmissions = 3;

struct FaultCase {
    const char* name;
    sim::Fault fault;
};

// Where a fault strikes: the command's reply, block k's reply, the status.
struct Position {
    std::string reply;
    int skip;
    std::string Describe() const { return reply + "#" + std::to_string(skip); }
};

std::vector<Position> EveryPosition() {
    std::vector<Position> positions = {{"f", 0}};
    for (int k = 0; k < kTransmissions; ++k)
        positions.push_back({"f.block", k});
    positions.push_back({"f.final", 0});
    return positions;
}

// The result the protocol calls for; a stray block reply and an unknown
// status byte are passed over as the device's firmware defines them.
int Expected(const std::string& kind, const Position& at) {
    if (kind == "silent" || kind == "short" || kind == "late-beyond")
        return QX_E_COMM_READ_TIMEOUT;
    if (kind == "late-within")
        return QX_S_OK;
    if (kind == "unknown")
        return at.reply == "f" ? QX_E_INVALID_RESPONSE : QX_E_REQUEST_NOT_SUPPORTED;
    if (kind == "wrong")
        return at.reply == "f" ? QX_E_INVALID_RESPONSE : QX_S_OK;
    return QX_E_COMM_READ_FAILURE;  // hang-up
}

class UploadFaultSweep : public ::testing::TestWithParam<FaultCase> {};

}  // namespace

TEST_P(UploadFaultSweep, EveryPosition) {
    const std::string kind = GetParam().name;
    TempDir dir;
    const std::string path = dir.Write("p.bfw", FirmwarePackage(kBody - 1, 2, 12, 'Q'));
    const std::vector<uint8_t> package = FileBytes(path);
    for (const Position& at : EveryPosition()) {
        SCOPED_TRACE(kind + " at " + at.Describe());
        OneSimulatedPort port;
        TracedDevice t;
        ASSERT_NE(0u, t.device.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort));
        sim::Fault fault = GetParam().fault;
        fault.skip = at.skip;
        fault.times = 1;
        port.Device().InjectFault(at.reply, fault);

        RecordingProgressBar bar;
        const auto start = std::chrono::steady_clock::now();
        const int result = t.device.UpdateFirmware(path.c_str(), &bar);
        const auto took = std::chrono::steady_clock::now() - start;

        const int expected = Expected(kind, at);
        if (kind == "hangup") {
            EXPECT_TRUE(result == QX_E_COMM_READ_FAILURE || result == QX_E_COMM_WRITE_FAILURE)
                << result;
        } else {
            EXPECT_EQ(expected, result);
        }
        // One reply window of 6 s at most, never a hang.
        EXPECT_LT(took, std::chrono::seconds(15));
        EXPECT_EQ(1, t.device.PortLockFree.load());
        EXPECT_EQ(static_cast<uint32_t>(kDefaultReadTimeoutMs), ReadTimeoutOf(t.device));
        EXPECT_EQ("pos 0", bar.Calls().back());
        EXPECT_EQ(package, FileBytes(path)) << "the package file is untouched";

        FirmwareVersion version;
        if (kind == "hangup") {
            EXPECT_NE(QX_S_OK, t.device.RequestFirmwareVersion(&version))
                << "the device is gone; the next command fails rather than hangs";
        } else {
            if (kind == "late-beyond")  // let the late reply and the device's wait pass
                std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            EXPECT_EQ(QX_S_OK, t.device.RequestFirmwareVersion(&version))
                << "the next command on the same object works";
        }
        EXPECT_EQ(1, t.device.PortLockFree.load());
        t.device.ClosePort();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UploadFaultSweep,
    ::testing::Values(FaultCase{"silent", {sim::FaultKind::NoReply}},
                      FaultCase{"hangup", {sim::FaultKind::Disconnect}},
                      FaultCase{"unknown", {sim::FaultKind::WrongByte, '?'}},
                      FaultCase{"wrong", {sim::FaultKind::WrongByte, 'X'}},
                      FaultCase{"short", {sim::FaultKind::CutShort}},
                      FaultCase{"late-within", {sim::FaultKind::Delay, 0, 1000}},
                      FaultCase{"late-beyond", {sim::FaultKind::Delay, 0, 6500}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        std::string name = info.param.name;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });
