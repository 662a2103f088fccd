#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "devicelink/FirmwareUpdate.h"
#include "package/PackageBuilder.h"
#include "package/PackageFile.h"
#include "platform/FileAccess.h"
#include "platform/Thread.h"
#include "tests/support/Fakes.h"
#include "tests/support/Fifo.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class FirmwareUpload : public ::testing::Test {
  protected:
    void Connect(sim::DeviceConfig config = {}) {
        t.device.ClosePort();
        port.reset();
        port = std::make_unique<OneSimulatedPort>(config);
        ASSERT_NE(0u, t.device.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort));
        Sim().ClearLog();
    }
    sim::VirtualDevice& Sim() { return port->Device(); }

    // A package whose body is n bytes (the payload and its check byte).
    std::string Package(size_t n, const std::string& name = "p.bfw", char letter = 'Q') {
        return dir.Write(name, FirmwarePackage(n - 1, 2, 12, letter));
    }

    // The whole upload as the device received it: command and every block.
    std::vector<uint8_t> UploadRequest() {
        EXPECT_TRUE(Sim().WaitForExchanges(1, 1000));
        return Sim().Exchanges().back().request;
    }

    std::unique_ptr<OneSimulatedPort> port;
    TracedDevice t;
    TempDir dir;
    RecordingProgressBar progress;
};

}  // namespace

TEST_F(FirmwareUpload, WorkedExampleByteForByte) {
    Connect();
    const std::string path = dir.Write("example.bfw", BuildPackage({0x10, 0x20, 0x30}, 1, 7, 'Q'));
    t.trace.Clear();
    ASSERT_EQ(QX_S_OK, t.device.UpdateFirmware(path.c_str(), &progress));
    EXPECT_THAT(UploadRequest(), ElementsAre(0x66, 0x00, 0x04, 0x6A, 0x10, 0x20, 0x30, 0x60, 0xC0));
    EXPECT_THAT(Sim().State().uploadTransmissions, ElementsAre(5));
    EXPECT_THAT(progress.Calls(), ElementsAre("range 0 1", "step 1", "pos 0", "stepit", "pos 0"));
    EXPECT_THAT(t.Lines(), ElementsAre("BKQuillex: Comm Read Timeout Set To 6000 ms",
                                       "BKQuillex: Comm Read Timeout Set To 300 ms"))
        << "raw transfers: no hex dumps of the image";
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(FirmwareUpload, BlockLayoutsAndProgressBySize) {
    Connect();
    struct Case {
        size_t n;
        std::vector<size_t> transmissions;
        int rangeMax;
        int steps;
    };
    const Case cases[] = {
        {512, {256, 257}, 3, 2},
        {300, {256, 45}, 2, 2},
        {100, {101}, 1, 1},
    };
    for (const Case& c : cases) {
        RecordingProgressBar bar;
        ASSERT_EQ(QX_S_OK, t.device.UpdateFirmware(Package(c.n).c_str(), &bar)) << c.n;
        const sim::DeviceState state = Sim().State();
        EXPECT_EQ(c.transmissions, state.uploadTransmissions) << c.n;
        EXPECT_EQ(c.n, state.uploadedBody.size());
        EXPECT_EQ("range 0 " + std::to_string(c.rangeMax), bar.Calls().front());
        EXPECT_EQ(c.steps, bar.MaxPosition());
        EXPECT_EQ("pos 0", bar.Calls().back());
    }
    // The body arrives exactly as the file holds it.
    const std::vector<uint8_t> payload = MakeFirmwarePayload(99, 2, 12, 'Q');  // the last case
    const std::vector<uint8_t> body = Sim().State().uploadedBody;
    EXPECT_THAT(std::vector<uint8_t>(body.begin(), body.end() - 1), ElementsAreArray(payload));
}

TEST_F(FirmwareUpload, LargestBody) {
    Connect();
    ASSERT_EQ(QX_S_OK, t.device.UpdateFirmware(Package(65536).c_str(), &progress));
    const std::vector<uint8_t> request = UploadRequest();
    EXPECT_THAT(std::vector<uint8_t>(request.begin(), request.begin() + 4),
                ElementsAre(0x66, 0x00, 0x00, 0x66));
    const sim::DeviceState state = Sim().State();
    ASSERT_EQ(256u, state.uploadTransmissions.size());
    EXPECT_EQ(257u, state.uploadTransmissions.back());
    EXPECT_EQ(256, progress.MaxPosition());
    EXPECT_EQ("range 0 257", progress.Calls().front());
}

TEST_F(FirmwareUpload, DunmarraTakesTheCommandTwice) {
    sim::DeviceConfig config;
    config.letter = 'D';
    Connect(config);
    ASSERT_EQ(0xA081u, t.device.HardwareFlags);
    ASSERT_EQ(QX_S_OK, t.device.UpdateFirmware(Package(100, "d.bfw", 'D').c_str(), nullptr));
    const std::vector<uint8_t> request = UploadRequest();
    EXPECT_THAT(std::vector<uint8_t>(request.begin(), request.begin() + 8),
                ElementsAre(0x66, 0x00, 0x64, 0xCA, 0x66, 0x00, 0x64, 0xCA));
}

TEST_F(FirmwareUpload, EveryFinalStatusByteMapsToItsCode) {
    const std::pair<uint8_t, int> table[] = {
        {'?', QX_E_REQUEST_NOT_SUPPORTED},
        {'C', QX_S_OK},
        {'E', QX_E_EXTERNAL_CS_INVALID},
        {'F', QX_E_INVALID_RESPONSE},
        {'H', QX_E_INVALID_HARDWARE_ID},
        {'I', QX_E_INTERNAL_CS_INVALID},
        {'O', QX_S_OK},
        {'R', QX_E_NVRAM_BUFFERING_FAILED},
        {'V', QX_E_INVALID_VERSION},
        {'W', QX_E_FIRMWARE_FLASH_FAILED},
        {'Z', QX_S_OK},
    };
    Connect();
    const std::string path = Package(300);
    for (const auto& [status, code] : table) {
        sim::DeviceConfig config = Sim().Config();
        config.finalStatus = status;
        Sim().SetConfig(config);
        EXPECT_EQ(code, t.device.UpdateFirmware(path.c_str(), nullptr)) << status;
    }
}

TEST_F(FirmwareUpload, BlockRepliesOtherThanOkay) {
    Connect();
    const std::string path = Package(512);
    Sim().InjectFault("f.block", {sim::FaultKind::WrongByte, 'X', 0, 1});
    EXPECT_EQ(QX_S_OK, t.device.UpdateFirmware(path.c_str(), &progress))
        << "a stray reply neither ends the upload";
    EXPECT_EQ(1, progress.MaxPosition()) << "nor steps the bar";
    EXPECT_EQ(2u, Sim().State().uploadTransmissions.size());

    Sim().InjectFault("f.block", {sim::FaultKind::WrongByte, '?', 0, 1});
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.UpdateFirmware(path.c_str(), nullptr));
    Sim().InjectFault("f.block", {sim::FaultKind::WrongByte, 'R', 0, 1, 1});
    EXPECT_EQ(QX_E_NVRAM_BUFFERING_FAILED, t.device.UpdateFirmware(path.c_str(), nullptr));
    Sim().InjectFault("f", {sim::FaultKind::WrongByte, 'X', 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.UpdateFirmware(path.c_str(), nullptr));
    // Every reply has a 6000 ms window: a device that takes 5.5 s over a
    // block is waited for.
    Sim().InjectFault("f.block", {sim::FaultKind::Delay, 0, 5500, 1, 1});
    EXPECT_EQ(QX_S_OK, t.device.UpdateFirmware(path.c_str(), nullptr));
}

TEST_F(FirmwareUpload, SilenceIsATimeOutNotAReply) {
    Connect();
    Sim().InjectFault("f.block", {sim::FaultKind::NoReply, 0, 0, 1, 1});
    EXPECT_EQ(QX_E_COMM_READ_TIMEOUT, t.device.UpdateFirmware(Package(768).c_str(), &progress));
    EXPECT_EQ(1, progress.MaxPosition());
    EXPECT_EQ(1, t.device.PortLockFree.load());
    platform::Timeouts timeouts;
    ASSERT_TRUE(t.device.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(300u, timeouts.ReadTotalTimeoutConstant) << "put back after the upload";
}

TEST_F(FirmwareUpload, DisconnectMidUploadIsAFailureAndReleasesTheLock) {
    Connect();
    Sim().InjectFault("f.block", {sim::FaultKind::Disconnect, 0, 0, 1, 2});
    const int result = t.device.UpdateFirmware(Package(1024).c_str(), &progress);
    EXPECT_TRUE(result == QX_E_COMM_READ_FAILURE || result == QX_E_COMM_WRITE_FAILURE) << result;
    EXPECT_EQ(1, t.device.PortLockFree.load());
    EXPECT_EQ("pos 0", progress.Calls().back());
}

TEST_F(FirmwareUpload, BadPackagesNeverTouchThePort) {
    Connect();
    std::vector<uint8_t> good = FirmwarePackage(299, 2, 12, 'Q');
    std::vector<std::pair<std::string, int>> cases;
    auto add = [&](const std::string& name, std::vector<uint8_t> bytes, int code) {
        cases.push_back({dir.Write(name, bytes), code});
    };
    std::vector<uint8_t> p = good;
    p[0] = 'X';
    RefreshHeaderSum(&p);
    add("magic.bfw", p, QX_E_INVALID_FIRMWARE_IMAGE);
    p = good;
    p[0] = 'z', p[1] = 'r', p[2] = 'f', p[3] = 'w';
    add("lower.bfw", p, QX_E_INVALID_FIRMWARE_IMAGE);
    p = good;
    p[12] = 3;
    add("version-edit.bfw", p, QX_E_INVALID_FIRMWARE_IMAGE);
    p = good;
    p.back() ^= 0xFF;
    RefreshHeaderSum(&p);
    add("body-check.bfw", p, QX_E_INVALID_FIRMWARE_IMAGE);
    p.assign(good.begin(), good.begin() + 256);
    RefreshHeaderSum(&p);
    add("header-only.bfw", p, QX_E_INVALID_FIRMWARE_IMAGE);
    add("over-long.bfw", BuildPackage(std::vector<uint8_t>(65536, 1), 2, 12, 'Q'),
        QX_E_INVALID_FIRMWARE_IMAGE);
    // A valid package followed by 4 GiB of zeros: its low 32 size bits
    // describe the valid package alone.
    const std::string huge = dir.Write("huge.bfw", good);
    std::filesystem::resize_file(huge, (uint64_t{1} << 32) + good.size());
    cases.push_back({huge, QX_E_INVALID_FIRMWARE_IMAGE});
    const std::string fifo = dir.File("pipe.bfw");
    if (!kHasFifos)
        GTEST_SKIP() << kNoFifosHere;
    ASSERT_TRUE(MakeFifo(fifo));
    cases.push_back({fifo, QX_E_GENERAL_ERROR});
    cases.push_back({dir.File("missing.bfw"), QX_E_GENERAL_ERROR});
    cases.push_back({dir.Path(), QX_E_GENERAL_ERROR});
    const std::string held = dir.Write("held.bfw", good);
    auto holder = platform::ReadOnlyFile::Open(held.c_str(), platform::FileShare::Read);
    cases.push_back({held, QX_E_GENERAL_ERROR});

    ASSERT_EQ(QX_S_OK, t.device.SetReadTimeout(1234));
    for (const auto& [path, code] : cases) {
        RecordingProgressBar bar;
        int result = 1;
        EXPECT_TRUE(ReturnsWithoutBlocking(fifo, [&] {
            result = t.device.UpdateFirmware(path.c_str(), &bar);
        })) << path;
        EXPECT_EQ(code, result) << path;
        EXPECT_THAT(bar.Calls(), ElementsAre("pos 0")) << path;
    }
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
    EXPECT_EQ(1, t.device.PortLockFree.load());
    platform::Timeouts timeouts;
    ASSERT_TRUE(t.device.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(1234u, timeouts.ReadTotalTimeoutConstant);
}

TEST_F(FirmwareUpload, PreconditionsInOrder) {
    Connect();
    EXPECT_EQ(QX_E_GENERAL_ERROR, t.device.UpdateFirmware(nullptr, nullptr));
    const std::string path = Package(100);
    t.device.HardwareFlags = 0x8022;
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.UpdateFirmware(path.c_str(), nullptr));
    t.device.ClosePort();  // what a failed detection leaves behind
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, t.device.UpdateFirmware(path.c_str(), nullptr));
    t.device.HardwareFlags = 0x8485;
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, t.device.UpdateFirmware(path.c_str(), nullptr));
}

TEST_F(FirmwareUpload, NewVersionIsReadBackAndThePackageIsHeldExclusively) {
    Connect();
    const std::string path = Package(2000);
    Sim().InjectFault("f.final", {sim::FaultKind::Delay, 0, 400, 1});
    std::atomic<int> result{1};
    std::thread upload([&] { result = t.device.UpdateFirmware(path.c_str(), nullptr); });
    ASSERT_TRUE(Sim().WaitForExchanges(1, 2000));
    PackageHeader header;
    bool openedDuringUpload = CheckPackageFile(path.c_str(), &header);
    upload.join();
    EXPECT_EQ(QX_S_OK, result.load());
    EXPECT_FALSE(openedDuringUpload) << "no sharing while the upload runs";
    EXPECT_TRUE(CheckPackageFile(path.c_str(), &header));

    FirmwareVersion version{};
    t.device.ClosePort();
    EXPECT_EQ(0x8485u, t.device.DetectHardware(nullptr, 0, &version, 0));
    EXPECT_EQ(12, version.Minor) << "the device took the package's version";
}

TEST_F(FirmwareUpload, BusyPortConcurrency) {
    Connect();
    ASSERT_EQ(QX_S_OK, t.device.SetReadTimeout(4321));
    PortLockHolder holder(t.device);
    ASSERT_TRUE(holder.Taken());
    EXPECT_EQ(QX_E_PORT_BUSY, t.device.UpdateFirmware(Package(100).c_str(), &progress));
    EXPECT_EQ(0, t.device.PortLockFree.load()) << "the lock stays with its holder";
    platform::Timeouts timeouts;
    ASSERT_TRUE(t.device.PortHandle->GetTimeouts(&timeouts));
    EXPECT_EQ(4321u, timeouts.ReadTotalTimeoutConstant);
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
    EXPECT_EQ("pos 0", progress.Calls().back());
}

TEST_F(FirmwareUpload, WorkerConcurrencySendsTheResultAndWaitsForIt) {
    Connect();
    BlockingMessageWindow window;
    FirmwareUpdateParams params;
    params.Device = &t.device;
    params.NotifyWindow = &window;
    params.NotifyMessage = 0x8001;
    params.ProgressControl = &progress;
    params.Loaded = std::make_shared<const ::Package>(LoadPackage(Package(600)));
    std::atomic<int> exitCode{0};
    ASSERT_TRUE(platform::StartDetachedThread([&] { exitCode = FirmwareUpdateProc(&params); }));
    ASSERT_TRUE(window.WaitForMessage(1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0u, window.Returned()) << "the worker waits for the message to be handled";
    EXPECT_EQ(0, exitCode.load());
    window.Release();
    ASSERT_TRUE(window.WaitForReturn(1, 5000));
    while (exitCode.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(1, exitCode.load());
    ASSERT_EQ(1u, window.Messages().size());
    EXPECT_EQ(0x8001u, window.Messages()[0].message);
    EXPECT_EQ(0u, window.Messages()[0].wParam);
    EXPECT_EQ(QX_S_OK, window.Messages()[0].lParam);
    EXPECT_TRUE(t.HasLine("FirmwareUpdateProc completed with result: 0"));
    EXPECT_EQ(3, progress.MaxPosition());
}
