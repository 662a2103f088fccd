// Capture and replay: a session captured against the virtual device, served
// back by the replay device, gives the library the same results; a host that
// strays is told where; spoiled replies never turn into a success.
#include "sim/ReplayDevice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fuzz/Models.h"
#include "package/PackageBuilder.h"
#include "sim/FaultOption.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace {

struct SessionResults {
    uint32_t flags = 0;
    FirmwareVersion version{};
    int upload = 1;
    int read = 1;
    std::vector<uint8_t> memory;
};

constexpr size_t kBody = 600;

// Detection, an upload and a memory read, as a user's session would have them.
SessionResults RunSession(const std::string& package) {
    BKQuillex device;
    SessionResults r;
    r.flags = device.DetectHardware(nullptr, 0, &r.version, kDetectFromFirstPort);
    r.upload = device.UpdateFirmware(package.c_str(), nullptr);
    r.memory.assign(600, 0);
    r.read = device.ReadBlock(r.memory.data(), 600, 0x100, QX_XFER_NO_BULK, nullptr);
    device.ClosePort();
    return r;
}

capture::Session ReadBack(const std::string& path) {
    capture::Session session;
    std::string error;
    EXPECT_TRUE(capture::ReadCaptureFile(path, &session, &error)) << error;
    return session;
}

// What the host read after each of its writes, from the upload command on:
// the replies the upload saw.
std::vector<std::vector<uint8_t>> UploadReplies(const capture::Session& session, bool* found) {
    std::vector<std::vector<uint8_t>> replies;
    *found = false;
    for (const capture::Event& e : session.events) {
        if (e.kind == capture::EventKind::Tx) {
            *found = *found || (e.bytes.size() == 4 && e.bytes[0] == 'f');
            if (*found)
                replies.emplace_back();
        } else if (e.kind == capture::EventKind::Rx && *found) {
            replies.back().insert(replies.back().end(), e.bytes.begin(), e.bytes.end());
        }
    }
    return replies;
}

class Replay : public ::testing::Test {
  protected:
    void SetUp() override {
        KeepRealPortsOutOfReach();
        package = dir.Write("p.bfw", FirmwarePackage(kBody - 1, 2, 12, 'Q'));
        capturePath = dir.File("session.cap");
        OneSimulatedPort port;
        std::vector<uint8_t> pattern(0x1000);
        for (size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = static_cast<uint8_t>(i * 13);
        port.Device().SetMemory(0, pattern);
        const capture::ScopedCapture capture(capturePath, "brevik test");
        captured = RunSession(package);
        ASSERT_EQ(QX_S_OK, captured.upload);
        ASSERT_EQ(QX_S_OK, captured.read);
    }

    // The captured device's side of the session.
    std::vector<sim::Turn> Conversation() const {
        std::vector<sim::Turn> turns;
        std::string error;
        EXPECT_TRUE(sim::ConversationOf(ReadBack(capturePath), "", &turns, &error)) << error;
        return turns;
    }

    TempDir dir;
    std::string package, capturePath;
    SessionResults captured;
};

}  // namespace

TEST_F(Replay, ACapturedSessionReplaysWithTheSameResults) {
    sim::ReplayDevice replay(Conversation(), 3000);
    ASSERT_TRUE(replay.Start());
    ScopedPortTable table({replay.PortPath()});
    const SessionResults replayed = RunSession(package);
    EXPECT_TRUE(replay.WaitUntilDone(5000));
    EXPECT_TRUE(replay.Matched()) << replay.Report();
    EXPECT_EQ(captured.flags, replayed.flags);
    EXPECT_EQ(captured.version.Minor, replayed.version.Minor);
    EXPECT_EQ(QX_S_OK, replayed.upload);
    EXPECT_EQ(QX_S_OK, replayed.read);
    EXPECT_EQ(captured.memory, replayed.memory);
}

TEST_F(Replay, AHostThatStraysIsToldWhereAndGetsNoMoreReplies) {
    sim::ReplayDevice replay(Conversation(), 3000);
    ASSERT_TRUE(replay.Start());
    ScopedPortTable table({replay.PortPath()});
    // Another package: the upload's blocks differ from the captured ones.
    const std::string other = dir.Write("other.bfw", FirmwarePackage(kBody - 1, 2, 13, 'Q'));
    const SessionResults strayed = RunSession(other);
    EXPECT_TRUE(replay.WaitUntilDone(5000));
    EXPECT_FALSE(replay.Matched());
    EXPECT_THAT(replay.Report(), HasSubstr("differs: the host sent 0x"));
    EXPECT_NE(QX_S_OK, strayed.upload) << "no replies after the difference";

    std::vector<sim::Turn> turns;
    std::string error;
    EXPECT_FALSE(sim::ConversationOf(ReadBack(capturePath), "/dev/none", &turns, &error));
    EXPECT_THAT(error, HasSubstr("no port named /dev/none"));
}

TEST_F(Replay, SpoiledRepliesNeverTurnIntoASuccess) {
    const std::vector<sim::Turn> original = Conversation();
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::vector<sim::Turn> turns = original;
        sim::MutateReplies(&turns, seed);
        sim::ReplayDevice replay(turns, 500);
        ASSERT_TRUE(replay.Start());
        ScopedPortTable table({replay.PortPath()});
        const std::string hostSide = dir.File("replayed-" + std::to_string(seed) + ".cap");
        SessionResults r;
        {
            const capture::ScopedCapture capture(hostSide, "brevik test");
            r = RunSession(package);
        }
        // The upload's result is the one the replies it read call for.
        bool uploaded = false;
        const auto replies = UploadReplies(ReadBack(hostSide), &uploaded);
        if (uploaded) {
            EXPECT_EQ(model::Upload(replies, kBody, false).result, r.upload);
        } else {
            EXPECT_NE(QX_S_OK, r.upload) << "no upload went out";
        }
        if (r.read == QX_S_OK) {
            EXPECT_EQ(captured.memory, r.memory) << "a read that succeeded has the device's bytes";
        }
    }
}

TEST_F(Replay, MoreFromTheHostOrACutCaptureIsNeverAMatch) {
    // The session with its last captured exchange and the port's close cut
    // off: the host then sends more than the capture holds.
    capture::Session session = ReadBack(capturePath);
    std::vector<sim::Turn> all, turns;
    std::string error;
    bool closed = false;
    ASSERT_TRUE(sim::ConversationOf(session, "", &all, &error, &closed));
    EXPECT_TRUE(closed);
    while (!session.events.empty() && session.events.back().kind != capture::EventKind::Tx)
        session.events.pop_back();
    session.events.pop_back();  // the last request, and with it its replies
    ASSERT_TRUE(sim::ConversationOf(session, "", &turns, &error, &closed));
    EXPECT_FALSE(closed) << "no close event: cut short";
    ASSERT_LT(turns.size(), all.size());
    struct Case {
        const char* what;
        bool closed;
        const char* report;
    };
    for (const Case& c : {Case{"more host bytes", true, "more than the capture holds"},
                          Case{"a cut capture", false, "more than the capture holds"}}) {
        sim::ReplayDevice replay(turns, 500, c.closed);
        ASSERT_TRUE(replay.Start());
        ScopedPortTable table({replay.PortPath()});
        RunSession(package);
        EXPECT_TRUE(replay.WaitUntilDone(5000)) << c.what;
        EXPECT_FALSE(replay.Matched()) << c.what;
        EXPECT_THAT(replay.Report(), HasSubstr(c.report)) << c.what;
    }
    // Every byte there matched, but the session went on beyond the capture.
    sim::ReplayDevice truncated(all, 500, false);
    ASSERT_TRUE(truncated.Start());
    ScopedPortTable table({truncated.PortPath()});
    RunSession(package);
    EXPECT_TRUE(truncated.WaitUntilDone(5000));
    EXPECT_FALSE(truncated.Matched());
    EXPECT_THAT(truncated.Report(), HasSubstr("truncated"));
}

TEST(FaultOption, CommandLineFaults) {
    sim::FaultOption option;
    std::string error;
    ASSERT_TRUE(sim::ParseFaultOption("upload.block=3:silent", &option, &error)) << error;
    EXPECT_EQ("f.block", option.command);
    EXPECT_EQ(sim::FaultKind::NoReply, option.fault.kind);
    EXPECT_EQ(3, option.fault.skip);
    EXPECT_EQ(1, option.fault.times);
    ASSERT_TRUE(sim::ParseFaultOption("VV:late:400", &option, &error)) << error;
    EXPECT_EQ("VV", option.command);
    EXPECT_EQ(400, option.fault.delayMs);
    EXPECT_EQ(-1, option.fault.times) << "every reply";
    ASSERT_TRUE(sim::ParseFaultOption("upload.final:wrong:5A", &option, &error));
    EXPECT_EQ(0x5A, option.fault.byte);
    ASSERT_TRUE(sim::ParseFaultOption("upload:unknown", &option, &error));
    EXPECT_EQ("f", option.command);
    EXPECT_EQ('?', option.fault.byte);
    for (const char* bad : {"silent", "upload.block=x:silent", "VV:late", "VV:silent:3",
                            "VV:wrong:1FF", "VV:melt", ":silent"}) {
        EXPECT_FALSE(sim::ParseFaultOption(bad, &option, &error)) << bad;
    }
}
