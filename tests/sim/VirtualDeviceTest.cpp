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

TEST_F(SimOnPort, IdentityStatusAndDataLinkRefuseWhatTheyCannotTake) {
    EXPECT_THAT(Ask({'N', 'S', 0xA1}, 1), ElementsAre('?')) << "a Tessaly has no serial number";
    EXPECT_THAT(Ask({'S', 'S'}, 2), ElementsAre('O', 'O'));
    EXPECT_THAT(Ask({'C', 'C'}, 7), ElementsAre(1, 2, 3, 4, 5, 6, 21));
    EXPECT_THAT(Ask({'K', 1, 2, 0x55, 0x00}, 1), ElementsAre('?')) << "bad checksum";
    EXPECT_THAT(Ask({'K', 1, 2, 0x55, 0xA3}, 9),
                ElementsAre(0x55, 0x55, 'L', 'I', 'N', 'K', 'O', 'K', 0x0D));
    EXPECT_THAT(Ask({'k', 2, 'k' + 2}, 3), ElementsAre('L')) << "the peer has nothing to say";

    sim::DeviceConfig dunmarra = device.Config();
    dunmarra.letter = 'D';
    dunmarra.serialNumber = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    device.SetConfig(dunmarra);
    EXPECT_THAT(Ask({'N', 'S', 0xA1}, 10), ElementsAre(9, 8, 7, 6, 5, 4, 3, 2, 1, 45));
    // A vendor write must carry this device's serial bytes 1..8.
    EXPECT_THAT(Ask({'N', 0x05, 8, 7, 6, 5, 4, 3, 2, 0, 0x76}, 1), ElementsAre('?'));
    EXPECT_EQ(0, device.State().vendorId);
    EXPECT_THAT(Ask({'N', 0x05, 8, 7, 6, 5, 4, 3, 2, 1, 0x77}, 1), ElementsAre('O'));
    EXPECT_EQ(0x05, device.State().vendorId);

    sim::DeviceConfig older = device.Config();
    older.letter = 'K';
    device.SetConfig(older);
    EXPECT_THAT(Ask({'C', 'C'}, 7), ElementsAre('?'));
}
