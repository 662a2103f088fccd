// The fuzz targets in the ordinary suite: the kept inputs that once broke a
// property, the seeds taken from the virtual device, and those seeds spoiled
// as the fuzzer would spoil them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "fuzz/FuzzTargets.h"
#include "fuzz/SeedMaker.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SimulatedPorts.h"

namespace {

using Check = std::string (*)(const uint8_t*, size_t);

std::string Judge(Check check, const std::vector<uint8_t>& input) {
    return check(input.empty() ? nullptr : input.data(), input.size());
}

// The replies of a "replies" input, each flipped in a bit or cut short now
// and then, framing kept.
std::vector<uint8_t> Spoil(const std::vector<uint8_t>& input, std::mt19937& rng) {
    std::vector<std::vector<uint8_t>> replies;
    for (size_t at = 2; at + 1 < input.size();) {
        const size_t length = input[at] << 8 | input[at + 1];
        at += 2;
        replies.emplace_back(
            input.begin() + static_cast<long>(at),
            input.begin() + static_cast<long>(std::min(at + length, input.size())));
        at += length;
    }
    if (replies.empty())
        return input;
    for (int c = 1 + static_cast<int>(rng() % 3); c > 0; --c) {
        std::vector<uint8_t>& reply = replies[rng() % replies.size()];
        if (reply.empty())
            continue;
        if (rng() % 4 == 0)
            reply.resize(rng() % reply.size());
        else
            reply[rng() % reply.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
    return fuzz::RepliesInput(input[0], input[1], replies);
}

}  // namespace

TEST(FuzzRegressions, KeptInputsStayFixed) {
    const std::pair<const char*, Check> targets[] = {
        {"replies", fuzz::CheckDeviceReplies},    {"package", fuzz::CheckPackageBytes},
        {"cli", fuzz::CheckCommandLine},          {"capture", fuzz::CheckCaptureText},
        {"signature", fuzz::CheckSignatureBytes}, {"intelhex", fuzz::CheckIntelHexText},
        {"srecords", fuzz::CheckSRecordText}};
    int replayed = 0;
    for (const auto& [name, check] : targets) {
        const std::filesystem::path folder = std::filesystem::path(BREVIK_FUZZ_REGRESSIONS) / name;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().filename() == "README")
                continue;
            EXPECT_EQ("", Judge(check, FileBytes(entry.path()))) << entry.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

TEST(FuzzRegressions, SeedsFromTheVirtualDeviceAndTheirSpoiledCopies) {
    KeepRealPortsOutOfReach();
    const std::vector<fuzz::Seed> seeds = fuzz::MakeSeeds("replies");
    ASSERT_GE(seeds.size(), size_t{fuzz::kCommandCount});
    std::mt19937 rng(20261207);
    int spoiled = 0;
    for (const fuzz::Seed& seed : seeds) {
        EXPECT_EQ("", Judge(fuzz::CheckDeviceReplies, seed.input)) << seed.name;
        for (int i = 0; i < 200; ++i, ++spoiled)
            ASSERT_EQ("", Judge(fuzz::CheckDeviceReplies, Spoil(seed.input, rng)))
                << seed.name << " spoiled, round " << i;
    }
    EXPECT_GT(spoiled, 10000);
    const std::pair<const char*, Check> others[] = {{"package", fuzz::CheckPackageBytes},
                                                    {"cli", fuzz::CheckCommandLine},
                                                    {"capture", fuzz::CheckCaptureText},
                                                    {"signature", fuzz::CheckSignatureBytes}};
    for (const auto& [target, check] : others) {
        for (const fuzz::Seed& seed : fuzz::MakeSeeds(target))
            EXPECT_EQ("", Judge(check, seed.input)) << seed.name;
    }
}
