#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "devicelink/BKQuillex.h"
#include "devicelink/StatusTasks.h"
#include "platform/Thread.h"
#include "tests/support/Fakes.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;

namespace {

constexpr uint32_t kQuillexUsb = 0x8485;

class DataLink : public ::testing::Test {
  protected:
    DataLink() : port(Config()) {}
    static sim::DeviceConfig Config() {
        sim::DeviceConfig config;
        config.dataLinkListenData = {0xA1, 0xA2, 0xA3, 0xA4};
        return config;
    }
    void SetUp() override {
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.HardwareFlags = kQuillexUsb;
        port.Device().ClearLog();
        t.trace.Clear();
    }
    void Peer(bool connected, bool wakesOnBurst) {
        sim::DeviceConfig config = port.Device().Config();
        config.dataLinkConnected = connected;
        config.dataLinkWakesOnBurst = wakesOnBurst;
        port.Device().SetConfig(config);
    }
    std::vector<std::vector<uint8_t>> Requests() { return RequestsOf(port.Device()); }
    uint32_t ReadTimeout() { return ReadTimeoutOf(t.device); }

    OneSimulatedPort port;
    TracedDevice t;
};

const uint8_t kProbe[3] = {0x10, 0x20, 0x30};

}  // namespace

TEST_F(DataLink, ListenFormDropsItsFirstByte) {
    uint8_t reply[10] = {};
    EXPECT_EQ(4, t.device.LinkExchange(160, 0, 4, nullptr, reply, 0));
    EXPECT_THAT(Requests(), ElementsAre(ElementsAre(0x6B, 0x04, 0x6F)));
    EXPECT_THAT(std::vector<uint8_t>(reply, reply + 4), ElementsAre(0xA1, 0xA2, 0xA3, 0xA4));
    EXPECT_EQ(300u, ReadTimeout()) << "the 6000 ms listen time-out is undone";

    EXPECT_EQ(10, t.device.LinkExchange(160, 0, 4, nullptr, reply, 1));
    EXPECT_THAT(std::vector<uint8_t>(reply + 4, reply + 10),
                ElementsAre('L', 'I', 'N', 'K', 'O', 'K'));

    port.Device().ClearLog();
    EXPECT_EQ(0, t.device.LinkExchange(9600, 0, 4, nullptr, reply, 0));
    EXPECT_EQ(0, t.device.LinkExchange(160, 0, 4, nullptr, nullptr, 0)) << "nowhere to put it";
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, platform::ThreadLastError());
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());
}

TEST_F(DataLink, RequestFormAndItsPreconditions) {
    uint8_t reply[12] = {};
    EXPECT_EQ(6, t.device.LinkExchange(8192, 3, 6, kProbe, reply, 0));
    EXPECT_EQ(6, t.device.LinkExchange(19200, 3, 6, kProbe, reply, 1) - 6);
    ASSERT_EQ(2u, Requests().size());
    EXPECT_THAT(Requests()[0], ElementsAre(0x4B, 0x03, 0x06, 0x10, 0x20, 0x30, 0xB4));
    EXPECT_EQ(Requests()[0], Requests()[1]) << "one form for both rates";
    EXPECT_THAT(std::vector<uint8_t>(reply, reply + 6),
                ElementsAre(0x10, 0x20, 0x30, 0x10, 0x20, 0x30))
        << "the echo of the request, then the peer's answer";

    port.Device().InjectFault("K", {sim::FaultKind::CutShort, 0, 0, 1});
    EXPECT_EQ(12, t.device.LinkExchange(8192, 3, 6, kProbe, reply, 1))
        << "the end byte is not examined";
    uint8_t longer[14] = {};
    EXPECT_EQ(6, t.device.LinkExchange(8192, 3, 8, kProbe, longer, 1))
        << "6 of 8 and no trailer: nothing is claimed that did not come";

    port.Device().ClearLog();
    t.device.HardwareFlags = 0x0086;
    platform::SetThreadLastError(0);
    EXPECT_EQ(0, t.device.LinkExchange(8192, 3, 6, kProbe, reply, 0));
    EXPECT_EQ(QX_E_REQUEST_NOT_SUPPORTED, platform::ThreadLastError());
    t.device.HardwareFlags = 0x0800;  // data-link capable alone will do
    EXPECT_EQ(6, t.device.LinkExchange(8192, 3, 6, kProbe, reply, 0));

    {
        PortLockHolder holder(t.device);
        t.device.SetReadTimeout(4321);
        EXPECT_EQ(QX_E_PORT_BUSY, t.device.LinkExchange(160, 0, 4, nullptr, reply, 0));
        EXPECT_EQ(4321u, ReadTimeout()) << "the lock holder's time-out is left alone";
    }
    t.device.ClosePort();
    t.device.HardwareFlags = kQuillexUsb;
    EXPECT_EQ(0, t.device.LinkExchange(8192, 3, 6, kProbe, reply, 0));
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, platform::ThreadLastError());
}

TEST_F(DataLink, ProbesBurstAndTheConnectionFlag) {
    EXPECT_EQ(0, t.device.IsConnected(kProbe, 3, 3)) << "the reply must outgrow the probe";
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());

    EXPECT_EQ(1, t.device.CheckLinkConnection(kProbe, 3, 4));
    EXPECT_EQ(1, t.device.LinkConnected);
    EXPECT_EQ(1u, Requests().size());
    EXPECT_EQ("BKQX IsConnected: Connected", t.Lines().back());

    // A sleeping peer: four probes, a burst of 20 probes, then it answers.
    Peer(false, true);
    port.Device().ClearLog();
    EXPECT_EQ(1, t.device.CheckLinkConnection(kProbe, 3, 4));
    const auto requests = Requests();
    ASSERT_EQ(6u, requests.size());
    EXPECT_EQ(4 + 60u, requests[4].size());
    EXPECT_EQ(60, requests[4][1]);
    EXPECT_EQ(64, requests[4][2]);

    // A peer that never answers: 4 + burst + 4, then not connected.
    Peer(false, false);
    sim::DeviceConfig config = port.Device().Config();
    port.Device().ClearLog();
    EXPECT_EQ(0, t.device.CheckLinkConnection(kProbe, 3, 4));
    EXPECT_EQ(0, t.device.LinkConnected);
    EXPECT_EQ(9u, Requests().size());

    t.device.LinkConnected = 1;
    {
        PortLockHolder holder(t.device);
        port.Device().ClearLog();
        EXPECT_EQ(0, t.device.CheckLinkConnection(kProbe, 3, 4));
    }
    EXPECT_EQ(0, t.device.LinkConnected);
    EXPECT_TRUE(port.Device().ReceivedBytes().empty());
}

TEST_F(DataLink, ExchangeWorkerConcurrency) {
    uint8_t reply[6] = {};
    BlockingMessageWindow window;
    LinkExchangeTask task{&t.device, &window, 0x8200, 8192, 3, 6, kProbe, reply, 0};
    std::atomic<int> exitCode{-1};
    std::thread worker([&] { exitCode = LinkExchangeThreadProc(&task); });
    ASSERT_TRUE(window.WaitForMessage(1, 2000));
    EXPECT_EQ(-1, exitCode.load()) << "still waiting for the window";
    window.Release();
    worker.join();
    EXPECT_EQ(0, exitCode.load());
    EXPECT_EQ(0x8200u, window.Messages()[0].message);
    EXPECT_EQ(6, window.Messages()[0].lParam);
    EXPECT_EQ(0x30, reply[5]);
}
