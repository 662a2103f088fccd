// The simulator's own behaviour, seen from a bare serial port.
#include "sim/VirtualDevice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "platform/SerialPort.h"

using ::testing::ElementsAre;

namespace {

class SimOnPort : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.Start());
        port = platform::SerialPort::Open(device.PortPath().c_str(), nullptr);
        ASSERT_TRUE(port);
        SetBaud(115200);
        ASSERT_TRUE(port->SetTimeouts({50, 0, 300, 0, 300}));
    }

    void SetBaud(uint32_t baud) {
        platform::LineState state;
        ASSERT_TRUE(port->GetState(&state));
        state.BaudRate = baud;
        ASSERT_TRUE(port->SetState(state));
    }

    std::vector<uint8_t> Ask(std::vector<uint8_t> request, uint32_t replyLength) {
        uint32_t n = 0;
        EXPECT_TRUE(port->Write(request.data(), static_cast<uint32_t>(request.size()), &n));
        std::vector<uint8_t> reply(replyLength);
        EXPECT_TRUE(port->Read(reply.data(), replyLength, &n));
        reply.resize(n);
        return reply;
    }

    sim::VirtualDevice device{sim::DeviceConfig{3, 4, 'L'}};
    std::unique_ptr<platform::SerialPort> port;
};

}  // namespace

TEST_F(SimOnPort, AnswersVersionAndUnknownCommands) {
    EXPECT_THAT(Ask({'V', 'V'}, 3), ElementsAre(3, 4, 'L'));
    EXPECT_THAT(Ask({'#'}, 1), ElementsAre('?'));
    EXPECT_THAT(Ask({'V', 'x'}, 1), ElementsAre('?'));
    std::vector<sim::Exchange> log = device.Exchanges();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("VV", log[0].command);
    EXPECT_EQ("?", log[1].command);
}

TEST_F(SimOnPort, LinkRateChecksCodeAndChecksumAndListensOnlyAtItsRate) {
    EXPECT_THAT(Ask({'S', 2, 'S' + 2}, 1), ElementsAre('?')) << "unknown code";
    EXPECT_THAT(Ask({'S', 0, 0}, 1), ElementsAre('?')) << "bad checksum";
    EXPECT_EQ(115200u, device.CurrentBaud());
    EXPECT_THAT(Ask({'S', 1, 'S' + 1}, 1), ElementsAre('O'));
    EXPECT_EQ(460800u, device.CurrentBaud());
    EXPECT_TRUE(Ask({'V', 'V'}, 3).empty()) << "the host still talks at 115200";
    SetBaud(460800);
    EXPECT_THAT(Ask({'V', 'V'}, 3), ElementsAre(3, 4, 'L'));
}

TEST_F(SimOnPort, FaultsHitTheirCommandTheNumberOfTimesAsked) {
    device.InjectFault("VV", {sim::FaultKind::WrongByte, 'X', 0, 1});
    EXPECT_THAT(Ask({'V', 'V'}, 3), ElementsAre('X', 4, 'L'));
    EXPECT_THAT(Ask({'V', 'V'}, 3), ElementsAre(3, 4, 'L'));
    device.InjectFault("VV", {sim::FaultKind::BadChecksum, 0, 0, 1});
    EXPECT_THAT(Ask({'V', 'V'}, 3), ElementsAre(3, 4, 'M'));
    device.InjectFault("VV", {sim::FaultKind::Delay, 0, 150, 1});
    auto start = std::chrono::steady_clock::now();
    EXPECT_THAT(Ask({'V', 'V'}, 3), ElementsAre(3, 4, 'L'));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(140));
    device.InjectFault("VV", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_TRUE(Ask({'V', 'V'}, 3).empty());
    device.InjectFault("VV", {sim::FaultKind::Disconnect});
    uint32_t n = 0;
    const uint8_t vv[2] = {'V', 'V'};
    port->Write(vv, 2, &n);
    uint8_t reply[3];
    EXPECT_FALSE(port->Read(reply, 3, &n)) << "the line hung up";
}
