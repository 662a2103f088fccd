#include "fuzz/SeedMaker.h"

#include "fuzz/CommandRuns.h"
#include "fuzz/FuzzTargets.h"
#include "image/ImageFile.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "platform/SerialTap.h"
#include "sim/VirtualDevice.h"
#include "tests/support/SigningFixtures.h"

namespace fuzz {
namespace {

// Collects what the device answered, one reply per host write: the shape of
// a "replies" input.
class ReplyRecorder : public platform::SerialTap {
  public:
    void Opened(unsigned, const char*) override {}
    void Closed(unsigned) override {}
    void StateSet(unsigned, const platform::LineState&) override {}
    void TimeoutsSet(unsigned, const platform::Timeouts&) override {}
    void Purged(unsigned, unsigned) override {}
    void Wrote(unsigned, const uint8_t*, uint32_t) override {
        if (armed)
            replies.emplace_back();
    }
    void ReadDone(unsigned, const uint8_t* bytes, uint32_t count, uint32_t) override {
        if (armed && !replies.empty())
            replies.back().insert(replies.back().end(), bytes, bytes + count);
    }
    bool armed = false;
    std::vector<std::vector<uint8_t>> replies;
};

sim::DeviceConfig ConfigOf(uint8_t variant) {
    static constexpr struct {
        uint8_t major, minor;
        char letter;
    } kVersions[4] = {{2, 12, 'Q'}, {2, 11, 'Q'}, {10, 12, 'L'}, {1, 5, 'D'}};
    sim::DeviceConfig config;
    config.major = kVersions[variant & 3].major;
    config.minor = kVersions[variant & 3].minor;
    config.letter = kVersions[variant & 3].letter;
    return config;
}

std::vector<uint8_t> RecordReplies(uint8_t command, uint8_t variant) {
    sim::VirtualDevice device(ConfigOf(variant));
    if (!device.Start())
        return {};
    const auto previous = platform::PortTable::Override();
    platform::PortTable::SetOverride({device.PortPath()});
    ReplyRecorder recorder;
    platform::SerialPort::InstallTap(&recorder);
    std::vector<uint8_t> input;
    {
        BKQuillex host;
        if (host.InitPort("COM1", 115200) == QX_S_OK) {
            PrepareDevice(&host, variant);
            recorder.armed = true;
            CountingProgressBar bar;
            RunCommand(&host, command, variant, &bar);
            recorder.armed = false;
            input = RepliesInput(command, variant, recorder.replies);
            host.ClosePort();
        }
    }
    platform::SerialPort::InstallTap(nullptr);
    if (previous)
        platform::PortTable::SetOverride(*previous);
    else
        platform::PortTable::ClearOverride();
    device.Stop();
    return input;
}

// A detection and a short upload as brevik captures them.
constexpr char kCaptureSeed[] =
    "# brevik serial capture 1\n"
    "program brevik 1.7\n"
    "0.000000 1 open /dev/pts/3\n"
    "0.000041 1 line 115200 8N1\n"
    "0.000052 1 timeouts 200 1 300 0 300\n"
    "0.000060 1 purge 0C\n"
    "0.000075 1 tx 56 56\n"
    "0.002130 1 rx 3 02 0B 51\n"
    "0.002500 1 tx 66 00 02 68\n"
    "0.002600 1 rx 1 4F\n"
    "0.002700 1 tx 01 01 02\n"
    "0.002800 1 rx 1 4F\n"
    "0.002900 1 rx 1 43\n"
    "0.302130 1 rx 1\n"
    "0.412000 1 close\n";

}  // namespace

std::vector<Seed> MakeSeeds(const std::string& target) {
    std::vector<Seed> seeds;
    if (target == "replies") {
        for (uint8_t command = 0; command < kCommandCount; ++command) {
            for (uint8_t variant : {0, 1, 2, 3, 3 | 8, 16}) {
                std::vector<uint8_t> input = RecordReplies(command, variant);
                if (!input.empty())
                    seeds.push_back({"c" + std::to_string(command) + "-v" + std::to_string(variant),
                                     std::move(input)});
            }
        }
    } else if (target == "package") {
        for (size_t n : {1, 99, 256, 300, 4096}) {
            seeds.push_back({"body-" + std::to_string(n), FirmwarePackage(n - 1, 2, 12, 'Q')});
        }
    } else if (target == "signature") {
        auto text = [](uint8_t mode, std::string_view body) {
            std::vector<uint8_t> input{mode};
            input.insert(input.end(), body.begin(), body.end());
            return input;
        };
        seeds.push_back({"maker-key", text(0, fixtures::kMakerKey)});
        seeds.push_back({"other-key", text(0, fixtures::kOtherKey)});
        seeds.push_back({"p384-key", text(0, fixtures::kP384Key)});
        seeds.push_back({"rsa-key", text(0, fixtures::kRsaKey)});
        std::vector<uint8_t> signature{1};
        const std::vector<uint8_t> maker = fixtures::MakerSignature();
        signature.insert(signature.end(), maker.begin(), maker.end());
        seeds.push_back({"maker-signature", signature});
    } else if (target == "intelhex" || target == "srecords") {
        const image::ImageFormat format =
            target == "intelhex" ? image::ImageFormat::IntelHex : image::ImageFormat::SRecords;
        for (const uint32_t address : {0x0u, 0xF000u, 0xFFF8u, 0x123456u, 0x7FFFFFF0u}) {
            std::vector<uint8_t> bytes(address % 97 + 20);
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(i * 31 + address);
            const std::string text = image::WriteImage(format, address, bytes);
            seeds.push_back({"at-" + std::to_string(address), {text.begin(), text.end()}});
        }
    } else if (target == "capture") {
        seeds.push_back({"session", std::vector<uint8_t>(kCaptureSeed,
                                                         kCaptureSeed + sizeof kCaptureSeed - 1)});
    } else if (target == "cli") {
        const char lines[][48] = {"update\0p.bfw\0--port\0COM3",
                                  "read\0"
                                  "0x100\0"
                                  "600\0out.bin",
                                  "write\0"
                                  "4096\0in.bin\0--no-bulk",
                                  "eeprom\0"
                                  "1\0"
                                  "7\0--trace",
                                  "--capture\0s.cap\0detect"};
        // Update runs: each signal at a block, the output closed or not.
        for (uint8_t signal = 0; signal < 5; ++signal)
            seeds.push_back(
                {"update-run-" + std::to_string(signal),
                 {kUpdateRunMarker, signal, signal, signal, static_cast<uint8_t>(signal >> 1)}});
        for (size_t i = 0; i < sizeof lines / sizeof lines[0]; ++i) {
            size_t length = sizeof lines[i];
            while (length > 0 && lines[i][length - 1] == '\0')
                --length;
            seeds.push_back(
                {"line-" + std::to_string(i), std::vector<uint8_t>(lines[i], lines[i] + length)});
        }
    }
    return seeds;
}

}  // namespace fuzz
