#include "app/cli/PackageCommands.h"

#include <string>
#include <thread>
#include <vector>

#include "app/cli/DeviceFinding.h"
#include "app/cli/DeviceProgress.h"
#include "app/cli/Flashing.h"
#include "app/cli/StationMode.h"
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
            s.doc["package"]["version"] = PackageVersion(p->header);
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

// One device of update --all, on a device object of its own: found again,
// raised with --fast, flashed and read back.
Flashed FlashOneOfEvery(const Session& s, const Package& p, const Found& listed,
                        WorkProgress* bar) {
    BKQuillex device;
    const Found found = ProbePath(device, listed.path, listed.port);
    // Every device gets the bytes that were read and checked once.
    const Raised raised =
        found.flags != 0 && s.args.fast ? RaiseForUpload(device, found.flags) : Raised{};
    if (bar != nullptr && (raised.lost || found.flags == 0))
        bar->End(false);
    Flashed outcome;
    if (raised.lost) {
        device.ClosePort();
        outcome.code = kCliNoDevice;
        outcome.message = raised.said;
    } else if (found.flags != 0) {
        if (bar != nullptr)
            bar->Begin(p.BodySize());
        outcome = FlashAndReadBack(device, found, p, bar);
        if (bar != nullptr)
            bar->End(outcome.code == kCliSucceeded);
        outcome.linkRate = raised.rate;
    } else {
        outcome.code = kCliNoDevice;
        outcome.message = "the device was not found again";
    }
    return outcome;
}

// A line and a JSON entry per device; the first failure is the run's.
int ReportEvery(Session& s, const std::vector<Found>& every, const std::vector<Flashed>& outcomes,
                const std::vector<bool>& skipped) {
    int code = kCliSucceeded;
    Json list = Json::array();
    for (size_t i = 0; i < every.size(); ++i) {
        const Flashed& f = outcomes[i];
        const std::string then =
            f.explained ? "; the device " + f.explained->state + "; next: " + f.explained->hint
                        : "";
        s.Say("%s %s %s: %s%s", s.PortName(every[i].port).c_str(), every[i].description,
              DeviceVersionText(every[i].version).c_str(), f.message.c_str(), then.c_str());
        Json entry = DeviceJson(every[i]);
        entry["ok"] = f.code == kCliSucceeded && !skipped[i];
        entry["skipped"] = static_cast<bool>(skipped[i]);
        entry["message"] = f.message;
        if (!f.result.empty())
            entry["result"] = f.result;
        if (!f.bridge.empty())
            entry["bridge_advice"] = f.bridge;
        if (!f.now.empty())
            entry["now"] = f.now;
        if (s.args.fast)
            entry["link_rate"] = f.linkRate;
        AddExplanation(f, &entry);
        list.push_back(entry);
        if (code == kCliSucceeded && f.code != kCliSucceeded)
            code = f.code;
    }
    s.doc["updates"] = list;
    if (code != kCliSucceeded)
        return s.Fail(code, "not every device was updated");
    return kCliSucceeded;
}

// Every attached device the package fits, flashed side by side, a line each.
int UpdateEvery(Session& s, const Package& p) {
    const std::vector<Found> every = FindEveryDevice(s);
    if (every.empty())
        return NoDevice(s);
    std::vector<Flashed> outcomes(every.size());
    std::vector<bool> skipped(every.size(), false);
    if (s.Cancelled())
        return s.Fail(kCliCancelled, "cancelled before the update began; nothing was sent");
    if (!s.args.dryRun)
        s.HoldStopSignals();
    // The devices to flash, and a line of progress for each of them.
    std::vector<size_t> flashing;
    std::vector<std::string> ports;
    for (size_t i = 0; i < every.size(); ++i) {
        const Admission admitted = Admit(s, p.header, every[i]);
        const std::string others = s.args.force ? "" : OthersOnThePort(every[i].port);
        if (admitted.code != kCliSucceeded) {
            skipped[i] = true;
            outcomes[i].message = "skipped: " + admitted.why;
        } else if (!others.empty()) {
            outcomes[i].code = kCliPortBusy;
            outcomes[i].message =
                "not updated: the port is also open in " + others + " (--force goes on)";
        } else if (s.args.dryRun) {
            outcomes[i].message = "would be updated to " + PackageVersion(p.header);
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
    return ReportEvery(s, every, outcomes, skipped);
}

}  // namespace

int Info(Session& s) {
    Package p;
    const std::string& path = s.args.operands[0];
    const bool valid = DescribePackage(s, path, &p);
    if (p.access != Package::Access::Readable)
        return s.Fail(PackageFailureCode(p), path + ": " + p.Problem());
    s.Say("%s", path.c_str());
    s.Say("  size          %llu bytes (body %llu)", static_cast<unsigned long long>(p.size),
          static_cast<unsigned long long>(p.BodySize()));
    if (p.magic) {
        s.Say("  version       %s", PackageVersion(p.header).c_str());
        s.Say("  target        %c (%s)", p.header.Target(), TargetHardwareText(p.header.Target()));
        s.Say("  header sum    0x%08X, computed 0x%08X", p.storedSum, p.computedSum);
    }
    auto verdict = [&p](bool ok) { return !p.checked ? "not checked" : ok ? "passed" : "FAILED"; };
    s.Say("  checks        size %s, magic %s, header sum %s, body check byte %s",
          p.sizeFits ? "passed" : "FAILED", verdict(p.magic), verdict(p.HeaderSumRight()),
          verdict(p.bodyCheckByte));
    if (!valid)
        return s.Fail(kCliBadPackage, path + ": " + p.Problem());
    s.Say("  verdict       valid");
    return kCliSucceeded;
}

int Update(Session& s) {
    const std::string& path = s.args.operands[0];
    Package p;
    if (!DescribePackage(s, path, &p))
        return s.Fail(PackageFailureCode(p), path + ": " + p.Problem());
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
    const std::string from = DeviceVersionText(found.version);
    const std::string to = PackageVersion(p.header);
    // The bridge's timer at 1 ms from the device found to the version read
    // back (never through a wait for a device); where this user may not
    // lower it, the open port may (the driver's low-latency mode), and the
    // user is told.
    std::unique_ptr<TransferHold> lowLatency;
    if (!s.args.dryRun)
        lowLatency = HoldLowLatency(s, found.port, p.BodySize());
    const Admission admitted = Admit(s, p.header, found);
    if (admitted.code != kCliSucceeded) {
        s.device.ClosePort();
        return s.Fail(admitted.code, admitted.why);
    }
    s.doc["update"] = {{"from", from}, {"to", to}, {"dry_run", s.args.dryRun}};
    if (s.args.dryRun) {
        s.Say("Would update %s from %s to %s (%llu bytes). Nothing was sent.", found.description,
              from.c_str(), to.c_str(), static_cast<unsigned long long>(p.BodySize()));
        s.device.ClosePort();
        return kCliSucceeded;
    }
    if (s.Cancelled()) {
        s.device.ClosePort();
        return s.Fail(kCliCancelled, "cancelled before the update began; nothing was sent");
    }
    if (std::optional<int> shared = SharedPort(s, found.port))
        return *shared;
    s.HoldStopSignals();
    if (s.args.fast) {
        const Raised raised = RaiseForUpload(s.device, found.flags);
        s.doc["update"]["fast"] = raised.rate > kStartLinkRate;
        s.doc["update"]["link_rate"] = raised.rate;
        if (raised.lost) {
            s.device.ClosePort();
            return s.Fail(kCliNoDevice, raised.said);
        }
        s.Say("%s", raised.said.c_str());
    }
    s.Say("Updating %s from %s to %s...", found.description, from.c_str(), to.c_str());
    s.BeginWork(p.BodySize());
    const Flashed flashed = FlashAndReadBack(s.device, found, p, s.progress);
    s.EndWork(flashed.result == "QX_S_OK");
    s.doc["update"]["result"] = flashed.result;
    if (!flashed.now.empty())
        s.doc["update"]["now"] = flashed.now;
    AddExplanation(flashed, &s.doc["update"]);
    if (flashed.code != kCliSucceeded && flashed.explained) {
        const UpdateExplanation& e = *flashed.explained;
        return s.Fail(flashed.code, flashed.message,
                      {"stopped: " + e.stopped, "device:  " + e.state, "next:    " + e.hint});
    }
    if (flashed.code != kCliSucceeded)
        return s.Fail(flashed.code, flashed.message);
    s.Say("%s", flashed.message.c_str());
    return kCliSucceeded;
}

}  // namespace cli
