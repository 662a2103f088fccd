#include "app/cli/PackageCommands.h"

#include <string>
#include <thread>
#include <vector>

#include "app/cli/DeviceFinding.h"
#include "app/cli/DeviceProgress.h"
#include "app/cli/Flashing.h"
#include "app/cli/ImageLoading.h"
#include "app/cli/StationMode.h"
#include "app/cli/TrustCommands.h"
#include "app/common/DeviceTexts.h"
#include "package/PackageFile.h"
#include "platform/BridgeLatency.h"
#include "platform/PortTable.h"

namespace cli {
namespace {

// The package read once and described, checks and all: the bytes that are
// checked here are the ones an update sends. False when it is not uploadable.
bool DescribePackage(Session& s, const std::string& path, Package* p) {
    *p = LoadPackage(path);
    const bool readable = p->access == Package::Access::Readable;
    // A check that never ran (the file is too short or too long to read)
    // is null, not a pass or a failure.
    auto ran = [p](bool passed) { return p->checked ? Json(passed) : Json(nullptr); };
    Json checks = {{"size", p->sizeFits},
                   {"magic", ran(p->magic)},
                   {"header_sum", ran(p->HeaderSumRight())},
                   {"body_check_byte", ran(p->bodyCheckByte)}};
    s.doc["package"] = {{"path", path}, {"valid", p->Uploadable()}};
    if (readable) {
        s.doc["package"]["size"] = p->size;
        s.doc["package"]["body_size"] = p->BodySize();
        s.doc["package"]["checks"] = checks;
        if (p->magic) {
            s.doc["package"]["version"] = flash::PackageVersion(p->header);
            s.doc["package"]["target"] = std::string(1, p->header.Target());
            s.doc["package"]["target_name"] = TargetHardwareText(p->header.Target());
            s.doc["package"]["header_sum"] = Hex(p->storedSum);
            s.doc["package"]["computed_sum"] = Hex(p->computedSum);
        }
    }
    return p->Uploadable();
}

// A file that cannot be read is a file error, as everywhere; one that was
// read and fails its checks is a bad package.
int PackageFailureCode(const Package& p) {
    return p.access == Package::Access::Readable ? kCliBadPackage : kCliFileError;
}

// The steps of update --all on one device's line of progress.
class EveryDeviceSteps : public flash::FlashSteps {
  public:
    explicit EveryDeviceSteps(WorkProgress* bar) : bar_(bar) {}
    ~EveryDeviceSteps() override {
        // A device that never reached its upload ends its line too.
        if (bar_ != nullptr && !begun_)
            bar_->End(false);
    }
    ui::ProgressBar* UploadBegins(const flash::Found&, uint64_t bytes) override {
        begun_ = true;
        if (bar_ != nullptr)
            bar_->Begin(bytes);
        return bar_;
    }
    void UploadEnds(bool completed) override {
        if (bar_ != nullptr)
            bar_->End(completed);
    }

  private:
    WorkProgress* bar_;
    bool begun_ = false;
};

// One device of update --all, on a device object of its own: found again,
// then the flow from there.
flash::FlashResult FlashOneOfEvery(const Session& s, const Package& p, const Found& listed,
                                   WorkProgress* bar) {
    BKQuillex device;
    const Found found = ProbePath(device, listed.path, listed.port);
    EveryDeviceSteps steps(bar);
    // Every device gets the bytes that were read and checked once.
    return flash::Flash(device, found, p, FlashOptionsOf(s), steps);
}

// A line and a JSON entry per device; the first failure is the run's.
int ReportEvery(Session& s, const std::vector<Found>& every,
                const std::vector<flash::FlashResult>& outcomes) {
    int code = kCliSucceeded;
    bool fitsOne = false;
    Json list = Json::array();
    for (size_t i = 0; i < every.size(); ++i) {
        const flash::FlashResult& f = outcomes[i];
        const bool skipped = flash::PackageRefused(f.outcome);
        fitsOne = fitsOne || f.outcome != flash::Outcome::NotFitting;
        s.Say("%s %s %s: %s%s", s.PortName(every[i].port).c_str(), every[i].description,
              DeviceVersionText(every[i].version).c_str(), skipped ? "skipped: " : "",
              OutcomeLine(f).c_str());
        Json entry = DeviceJson(every[i]);
        entry["ok"] = f.Succeeded();
        entry["skipped"] = skipped;
        AddOutcome(f, s.args.fast, &entry);
        list.push_back(entry);
        if (code == kCliSucceeded && !f.Succeeded() && !skipped)
            code = ExitCodeFor(f);
    }
    s.doc["updates"] = list;
    // A run that took the wrong package must not pass for a flash.
    if (!fitsOne)
        return s.Fail(kCliBadPackage, "the package fits none of the devices found");
    if (code != kCliSucceeded)
        return s.Fail(code, kNotEveryDeviceUpdated);
    return kCliSucceeded;
}

// Every attached device the package fits, flashed side by side, a line each.
int UpdateEvery(Session& s, const Package& p) {
    const std::vector<Found> every = FindEveryDevice(s);
    if (every.empty())
        return NoDevice(s);
    // A board missing from the fixture is a failure of the run, before any
    // of the others is touched.
    if (every.size() < s.args.expect) {
        s.device.ClosePort();
        return s.Fail(kCliNoDevice, std::to_string(every.size()) + " of the " +
                                        std::to_string(s.args.expect) +
                                        " devices expected (--expect) answer: " + Listed(every) +
                                        "; nothing was sent");
    }
    if (s.Cancelled())
        return s.Fail(kCliCancelled, flash::kCancelledBeforeSending);
    if (!s.args.dryRun)
        s.HoldStopSignals();
    s.Say("Flashing %s (%s) onto every device it fits...", flash::PackageVersion(p.header).c_str(),
          s.trust.said.c_str());
    // The devices to flash, and a line of progress for each of them.
    std::vector<flash::FlashResult> outcomes(every.size());
    std::vector<size_t> flashing;
    std::vector<std::string> ports;
    for (size_t i = 0; i < every.size(); ++i) {
        if (std::optional<flash::FlashResult> stopped =
                flash::Precheck(every[i], p, FlashOptionsOf(s))) {
            outcomes[i] = *stopped;
        } else {
            flashing.push_back(i);
            ports.push_back(platform::PortTable::ComName(every[i].port));
        }
    }
    auto progress = std::make_unique<DeviceProgress>(s.progress, ports, p.BodySize());
    std::vector<std::thread> flashes;
    for (size_t row = 0; row < flashing.size(); ++row) {
        flashes.emplace_back([&, row, i = flashing[row]] {
            outcomes[i] = FlashOneOfEvery(s, p, every[i], progress->Of(row));
        });
    }
    for (std::thread& flash : flashes)
        flash.join();
    progress.reset();  // its last drawing before the results
    return ReportEvery(s, every, outcomes);
}

// The steps of a single update on the terminal: the rate chosen, a line
// as the upload begins, and the progress bar.
class UpdateSteps : public flash::FlashSteps {
  public:
    UpdateSteps(Session& s, const PackageHeader& header) : s_(s), header_(header) {}
    bool StopRequested() override { return s_.Cancelled(); }
    void Committed() override { s_.HoldStopSignals(); }
    void RateChosen(const std::string& said) override { s_.Say("%s", said.c_str()); }
    ui::ProgressBar* UploadBegins(const flash::Found& found, uint64_t bytes) override {
        s_.Say("Updating %s from %s to %s (%s)...", found.description,
               DeviceVersionText(found.version).c_str(), flash::PackageVersion(header_).c_str(),
               s_.trust.said.c_str());
        s_.BeginWork(bytes);
        return s_.progress;
    }
    void UploadEnds(bool completed) override { s_.EndWork(completed); }

  private:
    Session& s_;
    const PackageHeader& header_;
};

// A record file's addresses and size, for info.
int ImageInfo(Session& s, const std::string& path) {
    int failure = kCliFailed;
    const std::optional<PlacedImage> placed = LoadPlacedImage(s, 0, path, &failure);
    if (!placed)
        return failure;
    DescribeImage(s, path, placed->image);
    return kCliSucceeded;
}

}  // namespace

int Info(Session& s) {
    Package p;
    const std::string& path = s.args.operands[0];
    if (IsRecordFile(path))
        return ImageInfo(s, path);
    const bool valid = DescribePackage(s, path, &p);
    if (p.access != Package::Access::Readable)
        return s.Fail(PackageFailureCode(p), path + ": " + p.Problem());
    if (const int judged = JudgePackage(s, path, p); judged != kCliSucceeded)
        return judged;
    s.Say("%s", path.c_str());
    s.Say("  size          %llu bytes (body %llu)", static_cast<unsigned long long>(p.size),
          static_cast<unsigned long long>(p.BodySize()));
    if (p.magic) {
        s.Say("  version       %s", flash::PackageVersion(p.header).c_str());
        s.Say("  target        %c (%s)", p.header.Target(), TargetHardwareText(p.header.Target()));
        s.Say("  header sum    0x%08X, computed 0x%08X", p.storedSum, p.computedSum);
    }
    auto verdict = [&p](bool ok) { return !p.checked ? "not checked" : ok ? "passed" : "FAILED"; };
    s.Say("  checks        size %s, magic %s, header sum %s, body check byte %s",
          p.sizeFits ? "passed" : "FAILED", verdict(p.magic), verdict(p.HeaderSumRight()),
          verdict(p.bodyCheckByte));
    s.Say("  sha256        %s", s.trust.sha256.c_str() + 7);
    s.Say("  signature     %s", s.trust.said.c_str());
    if (!valid)
        return s.Fail(kCliBadPackage, path + ": " + p.Problem());
    if (s.trust.refused)
        return s.Fail(kCliBadPackage, path + ": " + s.trust.why);
    s.Say("  verdict       valid");
    return kCliSucceeded;
}

int Update(Session& s) {
    const std::string& path = s.args.operands[0];
    Package p;
    if (!DescribePackage(s, path, &p))
        return s.Fail(PackageFailureCode(p), path + ": " + p.Problem());
    // Judged once, before any device is looked for: a package that may go on
    // no device is refused as a whole.
    if (const int judged = JudgePackage(s, path, p); judged != kCliSucceeded)
        return judged;
    if (s.trust.refused)
        return s.Fail(kCliBadPackage, path + ": " + s.trust.why);
    if (s.args.watch)
        return WatchAndUpdate(s, p);
    if (s.args.all)
        return UpdateEvery(s, p);
    int refusal = kCliSucceeded;
    const Found found = FindDevice(s, true, &refusal);
    if (refusal != kCliSucceeded)
        return refusal;
    if (found.flags == 0)
        return NoDevice(s);
    // The bridge's timer at 1 ms from the device found to the version read
    // back (never through a wait for a device); where this user may not
    // lower it, the open port may (the driver's low-latency mode), and the
    // user is told.
    std::unique_ptr<TransferHold> lowLatency;
    if (!s.args.dryRun)
        lowLatency = HoldLowLatency(s, found.port, p.BodySize());
    s.doc["update"] = {{"from", DeviceVersionText(found.version)},
                       {"to", flash::PackageVersion(p.header)},
                       {"dry_run", s.args.dryRun}};
    UpdateSteps steps(s, p.header);
    const flash::FlashResult f = flash::Flash(s.device, found, p, FlashOptionsOf(s), steps);
    AddOutcome(f, s.args.fast, &s.doc["update"]);
    if (s.args.fast)
        s.doc["update"]["fast"] = f.linkRate > kStartLinkRate;
    if (f.Succeeded()) {
        if (s.args.dryRun)
            s.Say("Package: %s.", s.trust.said.c_str());
        s.Say("%s", f.message.c_str());
        if (f.upload.seconds > 0)
            s.Say("Upload: %s.", flash::UploadSummary(f.upload).c_str());
        return kCliSucceeded;
    }
    if (f.explained) {
        const flash::UpdateExplanation& e = *f.explained;
        return s.Fail(ExitCodeFor(f), f.message,
                      {"stopped: " + e.stopped, "device:  " + e.state, "next:    " + NextStep(e)});
    }
    return s.Fail(ExitCodeFor(f), f.message);
}

}  // namespace cli
