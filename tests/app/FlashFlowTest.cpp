#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/flash/FlashFlow.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "tests/support/SimulatedPorts.h"

namespace {

using flash::Outcome;

// What the flow asked of its front end, in order.
class RecordedSteps : public flash::FlashSteps {
  public:
    explicit RecordedSteps(bool stop) : stop_(stop) {}
    bool StopRequested() override { return stop_; }
    void Committed() override { said += "committed "; }
    ui::ProgressBar* UploadBegins(const flash::Found&, uint64_t) override {
        said += "begins ";
        return nullptr;
    }
    void UploadEnds(bool completed) override { said += completed ? "ends-whole" : "ends-failed"; }
    std::string said;

  private:
    bool stop_;
};

bool UploadCommandSent(const sim::VirtualDevice& device) {
    for (const std::vector<uint8_t>& request : RequestsOf(device))
        if (!request.empty() && request[0] == 'f')
            return true;
    return false;
}

}  // namespace

// Every front end's flash: the admission by hardware and version policy, a
// dry run, a stop before anything is sent, a failed flash and a success,
// each with its outcome, what was sent and which steps the front end saw.
TEST(FlashFlow, EachOutcomeWithWhatWasSentAndTheStepsSeen) {
    struct Case {
        const char* name;
        uint8_t major, minor;  // the package's (the device runs 2.11.Q)
        char target;
        flash::FlashOptions options;
        bool stop;
        uint8_t finalStatus;
        Outcome outcome;
        bool sent;
        const char* steps;
    };
    flash::FlashOptions dry;
    dry.dryRun = true;
    flash::FlashOptions again;
    again.policy.allowReinstall = true;
    flash::FlashOptions older;
    older.policy.allowOlder = true;
    flash::FlashOptions untrusted;
    untrusted.untrusted = "the package is not signed, and signatures are required";
    const Case cases[] = {
        {"newer",
         2,
         12,
         'Q',
         {},
         false,
         'C',
         Outcome::Updated,
         true,
         "committed begins ends-whole"},
        {"same", 2, 11, 'Q', {}, false, 'C', Outcome::SameVersion, false, ""},
        {"same, allowed", 2, 11, 'Q', again, false, 'C', Outcome::Updated, true,
         "committed begins ends-whole"},
        {"older", 2, 10, 'Q', {}, false, 'C', Outcome::OlderVersion, false, ""},
        {"older, allowed", 1, 99, 'Q', older, false, 'C', Outcome::Updated, true,
         "committed begins ends-whole"},
        {"other hardware", 3, 1, 'L', {}, false, 'C', Outcome::NotFitting, false, ""},
        {"untrusted", 2, 12, 'Q', untrusted, false, 'C', Outcome::Untrusted, false, ""},
        {"dry run", 2, 12, 'Q', dry, false, 'C', Outcome::WouldUpdate, false, ""},
        {"stopped", 2, 12, 'Q', {}, true, 'C', Outcome::Cancelled, false, ""},
        {"flash failed",
         2,
         12,
         'Q',
         {},
         false,
         'W',
         Outcome::UploadFailed,
         true,
         "committed begins ends-failed"},
    };
    for (const Case& c : cases) {
        sim::DeviceConfig config;
        config.finalStatus = c.finalStatus;
        OneSimulatedPort port(config);
        BKQuillex device;
        flash::Found found;
        found.port = 1;
        found.path = platform::PortTable::Resolve("COM1").value_or("");
        found.flags =
            device.DetectHardwareOnPort(1, found.description, kTextCapacity, &found.version);
        ASSERT_NE(0u, found.flags) << c.name;
        const Package package = PackageFromBytes(FirmwarePackage(600, c.major, c.minor, c.target));
        RecordedSteps steps(c.stop);
        const flash::FlashResult f = flash::Flash(device, found, package, c.options, steps);
        EXPECT_EQ(flash::OutcomeName(c.outcome), std::string(flash::OutcomeName(f.outcome)))
            << c.name << ": " << f.message;
        EXPECT_EQ(c.sent, UploadCommandSent(port.Device())) << c.name;
        EXPECT_EQ(c.steps, steps.said) << c.name;
        EXPECT_FALSE(device.PortOpen) << c.name << ": the flow closes the port";
        EXPECT_EQ(c.outcome == Outcome::UploadFailed, f.explained.has_value()) << c.name;
        if (c.outcome == Outcome::Updated) {
            EXPECT_EQ(flash::PackageVersion(package.header), f.now) << c.name;
        }
    }
    // Nothing answered: no device, and nothing asked of the front end.
    BKQuillex nobody;
    RecordedSteps steps(false);
    const Package package = PackageFromBytes(FirmwarePackage(600, 2, 12, 'Q'));
    EXPECT_EQ(Outcome::NoDevice, flash::Flash(nobody, {}, package, {}, steps).outcome);
    EXPECT_EQ("", steps.said);
}

// What an upload's summary says took the time beyond the wire: the wire
// itself, the bridge's latency timer, a USB frame, or the device's replies;
// a line faster than its wire is no wire at all.
TEST(UploadSummary, SaysHowFastAndWhatTookTheRest) {
    struct Case {
        flash::UploadFigures figures;
        const char* said;
    };
    // 64 KiB: 0.711 s on a 921600-baud wire, 5.689 s at 115200; 256 blocks.
    const Case cases[] = {
        {{65536, 0.72, 921600, 256, 1},
         "64.0 KiB in 0.72 s, 88.9 KiB/s, 99% of the 921600-baud wire; the wire itself is the "
         "limit"},
        {{65536, 0.97, 921600, 256, 1},
         "64.0 KiB in 0.97 s, 66.0 KiB/s, 73% of the 921600-baud wire; the rest is one USB "
         "frame per block"},
        {{65536, 4.81, 921600, 256, 16},
         "64.0 KiB in 4.81 s, 13.3 KiB/s, 15% of the 921600-baud wire; the rest is the bridge's "
         "latency timer (16 ms a block)"},
        {{65536, 8.29, 115200, 256, 0},
         "64.0 KiB in 8.29 s, 7.7 KiB/s, 69% of the 115200-baud wire; the rest is the device's "
         "replies (10.2 ms a block)"},
        {{65536, 0.01, 115200, 256, 0},
         "64.0 KiB in 0.01 s, 6.2 MiB/s; faster than a 115200-baud wire: no wire paces this line"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.said, flash::UploadSummary(c.figures));
}
