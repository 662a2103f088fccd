#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "devicelink/BKQuillex.h"
#include "tests/support/Fakes.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;

namespace {

constexpr uint32_t kDunmarraUsb = 0x2081;
constexpr uint32_t kQuillexUsb = 0x8485;

class Emulation : public ::testing::Test {
  protected:
    Emulation() : port(sim::DeviceConfig{3, 2, 'D'}) {}
    void SetUp() override {
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.HardwareFlags = kDunmarraUsb;
        t.device.FirmwareVersion = {3, 2, 'D'};
        memory.resize(4096);
        std::mt19937 random(11);
        for (uint8_t& b : memory)
            b = static_cast<uint8_t>(random());
        port.Device().SetMemory(0x1000, memory);
        port.Device().ClearLog();
        t.trace.Clear();
    }
    std::vector<std::vector<uint8_t>> Requests() { return RequestsOf(port.Device()); }

    OneSimulatedPort port;
    TracedDevice t;
    std::vector<uint8_t> memory;
};

}  // namespace

TEST_F(Emulation, ModesOfADunmarraOnly) {
    EXPECT_EQ(1, t.device.GetEmulationMode());
    EXPECT_EQ(QX_S_OK, t.device.SetEmulationMode(2));
    EXPECT_EQ('T', port.Device().State().emulationMode);
    EXPECT_EQ(2, t.device.GetEmulationMode());
    EXPECT_THAT(Requests(), ElementsAre(ElementsAre(0x4F, 0x00, 0x4F), ElementsAre(0x4F, 'T', 0xA3),
                                        ElementsAre(0x4F, 0x00, 0x4F)));
    EXPECT_THAT(t.Lines(),
                ::testing::IsSupersetOf({"DunMarra: Get Emulation Mode Succeeded: Mode E",
                                         "DunMarra: Set Emulation Mode Succeeded: Mode T",
                                         "DunMarra: Get Emulation Mode Succeeded: Mode T"}));
    ASSERT_EQ(QX_S_OK, t.device.SetEmulationMode(1));
    EXPECT_EQ(0x94, Requests().back()[2]);

    port.Device().ClearLog();
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, t.device.SetEmulationMode(3));
    t.device.HardwareFlags = kQuillexUsb;
    EXPECT_EQ(0, t.device.GetEmulationMode());
    EXPECT_EQ(QX_S_OK, t.device.SetEmulationMode(1));
    EXPECT_EQ(QX_S_OK, t.device.SetEmulationMode(3));
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());

    t.device.HardwareFlags = kDunmarraUsb;
    port.Device().InjectFault("O", {sim::FaultKind::WrongByte, 'X', 0, 2});
    EXPECT_EQ(0, t.device.GetEmulationMode());
    EXPECT_EQ("Dunmarra: Get Emulation Mode Failed!", t.Lines().back());
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.SetEmulationMode(2));
    EXPECT_EQ("Dunmarra: Set Emulation Mode Failed!", t.Lines().back());
    {
        PortLockHolder holder(t.device);
        EXPECT_EQ(0, t.device.GetEmulationMode());
        EXPECT_EQ(QX_E_PORT_BUSY, t.device.SetEmulationMode(2));
    }
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST_F(Emulation, BackgroundTasksReportTheirResultConcurrency) {
    std::vector<uint8_t> readBack(4096);
    BlockingMessageWindow window;
    auto reader =
        t.device.StartReadBlockTask(readBack.data(), 4096, 0x1000, 0, &window, 0x8400, nullptr);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(window.WaitForMessage(1, 5000));
    // While the reader waits for its message to be handled, a verify starts
    // on the same device object: the reader's record must stay its own.
    std::vector<uint8_t> expected = memory;
    expected[10] ^= 0xFF;
    auto verifier =
        t.device.StartVerifyTask(expected.data(), 0x1000, 4096, nullptr, &window, 0x8401);
    ASSERT_TRUE(verifier);
    window.Release();
    ASSERT_TRUE(window.WaitForMessage(2, 5000));
    window.Release();
    reader->Wait();
    verifier->Wait();
    ASSERT_EQ(2u, window.Messages().size());
    EXPECT_EQ(0x8400u, window.Messages()[0].message);
    EXPECT_EQ(QX_S_OK, window.Messages()[0].lParam);
    EXPECT_EQ(memory, readBack);
    EXPECT_EQ(0x8401u, window.Messages()[1].message);
    EXPECT_EQ(0, window.Messages()[1].lParam) << "one difference";
    EXPECT_TRUE(t.HasLine("EmuThreadProc task completed with result: 0"));
    EXPECT_TRUE(t.HasLine("BKQuillex: ERROR! Verify failed with 1 differences."));

    const std::vector<uint8_t> written(512, 0x3C);
    auto writer =
        t.device.StartWriteBlockTask(written.data(), 512, 0x8000, 0, &window, 0x8402, nullptr);
    ASSERT_TRUE(window.WaitForMessage(3, 5000));
    window.Release();
    writer->Wait();
    EXPECT_EQ(QX_S_OK, window.Messages()[2].lParam);
    EXPECT_EQ(written, port.Device().Memory(0x8000, 512));
    auto same = t.device.StartVerifyTask(written.data(), 0x8000, 512, nullptr, &window, 0x8403);
    ASSERT_TRUE(window.WaitForMessage(4, 5000));
    window.Release();
    same->Wait();
    EXPECT_EQ(1, window.Messages()[3].lParam);

    EmuTaskRecord unknown = t.device.EmuTask;
    unknown.Task = 9;
    EXPECT_EQ(1, EmuThreadProc(&unknown));
    EXPECT_EQ(4u, window.Messages().size()) << "an unknown task sends nothing";
}
