#include "app/flash/FlashFlow.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "app/common/DeviceTexts.h"
#include "app/flash/PortHolders.h"

namespace flash {
namespace {

// --fast: the device on the fastest link rate that carries its replies, and
// one sentence saying which and, when not the first tried, why.
struct Raised {
    bool lost = false;  // the device answers at no rate any more
    int rate = kStartLinkRate;
    std::string said;
};

Raised RaiseForUpload(BKQuillex& device, uint32_t flags) {
    Raised r;
    if (!(flags & kHwUsb)) {
        r.said =
            "The device is not on USB: staying at " + std::to_string(kStartLinkRate) + " baud.";
        return r;
    }
    std::vector<LinkRateAttempt> tried;
    r.lost = device.RaiseLinkRate(&tried) != QX_S_OK;
    r.rate = LinkRateOfBaudCode(static_cast<int>(device.UsbBaudCode));
    std::string why;
    for (const LinkRateAttempt& a : tried) {
        if (a.outcome == RateTrial::Carried)
            continue;
        why += why.empty() ? "" : "; ";
        why += a.outcome == RateTrial::Refused
                   ? "the device did not take " + std::to_string(a.rate) + " baud"
                   : "no reply came through at " + std::to_string(a.rate) +
                         " baud (the port's bridge may not reach it)";
    }
    if (r.lost)
        r.said = "The device answers at no link rate since " + why +
                 ": nothing was sent; replug it and update without --fast.";
    else if (r.rate == kStartLinkRate)
        r.said = "Going on at " + std::to_string(kStartLinkRate) + " baud: " + why + ".";
    else
        r.said = "Link rate raised to " + std::to_string(r.rate) + " baud for the upload" +
                 (why.empty() ? "." : ": " + why + ".");
    return r;
}

FlashResult Ended(Outcome outcome, std::string message) {
    FlashResult r;
    r.outcome = outcome;
    r.message = std::move(message);
    return r;
}

// The upload into the device found, then its version read back: a status
// byte that said success is not taken for the new firmware running.
FlashResult UploadAndReadBack(BKQuillex& device, const Found& found, const Package& package,
                              ui::ProgressBar* progress) {
    const PackageHeader& header = package.header;
    FlashResult f;
    // A block per tick of the bridge's timer unless it goes down to 1 ms, for
    // the upload and the read-back after it (a caller that holds it already
    // finds it down, or has told the user).
    const platform::LowLatencyHold lowLatency(found.path);
    f.bridge = BridgeAdvice(lowLatency, package.BodySize());
    f.uploaded = true;
    f.upload.baud = LinkRateOfBaudCode(static_cast<int>(device.UsbBaudCode));
    const auto began = std::chrono::steady_clock::now();
    f.result = device.UpdateFirmware(package, progress);
    f.upload.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    f.blocksAcknowledged = device.LastUpload().blocksAcknowledged;
    f.upload.bytes = package.BodySize();
    f.upload.blocks = device.LastUpload().blocks;
    f.upload.latencyTimerMs = lowLatency.Lowered() ? 1 : lowLatency.TimerMs();
    // Back to the rate every device starts at, also after a failure.
    if (device.UsbBaudCode != kBaudCode115200)
        device.SetUSBBaud(kBaudCode115200, 0);
    if (f.result != QX_S_OK) {
        f.outcome = Outcome::UploadFailed;
        f.message = ResultBoxFor(f.result).text;
        f.explained = ExplainUpload(f.result, device.LastUpload());
        return f;
    }
    FirmwareVersion now{};
    // On the path the device was found on: in a table of the system's ports
    // the COM numbers move when another device is plugged or pulled.
    if (device.DetectHardwareOnPath(found.path.c_str(), nullptr, 0, &now) == 0) {
        f.outcome = Outcome::GoneAfterUpload;
        f.message =
            "the device took the update but was not found again; its new version is unknown";
        f.explained = ExplainReadBack("");
        return f;
    }
    f.now = DeviceVersionText(now);
    if (now.Major != header.Major() || now.Minor != header.Minor() ||
        now.Letter != header.Target()) {
        f.outcome = Outcome::OtherVersionAfterUpload;
        f.message =
            "the device reports " + f.now + " after the update, not " + PackageVersion(header);
        f.explained = ExplainReadBack(f.now);
        return f;
    }
    f.message = std::string(ResultBoxFor(QX_S_OK).text) + f.now;
    return f;
}

// Everything from the device found to the version read back; the caller
// closes the port.
FlashResult FlashOpen(BKQuillex& device, const Found& found, const Package& package,
                      const FlashOptions& options, FlashSteps& steps) {
    if (std::optional<FlashResult> stopped = Precheck(found, package, options))
        return *stopped;
    if (steps.StopRequested())
        return Ended(Outcome::Cancelled, kCancelledBeforeSending);
    steps.Committed();
    int rate = kStartLinkRate;
    if (options.fast) {
        const Raised raised = RaiseForUpload(device, found.flags);
        if (raised.lost)
            return Ended(Outcome::LinkLost, raised.said);
        rate = raised.rate;
        steps.RateChosen(raised.said);
    }
    ui::ProgressBar* bar = steps.UploadBegins(found, package.BodySize());
    FlashResult f = UploadAndReadBack(device, found, package, bar);
    steps.UploadEnds(f.outcome == Outcome::Updated);
    f.linkRate = rate;
    return f;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Updated:
            return "updated";
        case Outcome::WouldUpdate:
            return "would_update";
        case Outcome::Untrusted:
            return "untrusted";
        case Outcome::NotFitting:
            return "not_fitting";
        case Outcome::SameVersion:
            return "same_version";
        case Outcome::OlderVersion:
            return "older_version";
        case Outcome::PortHeld:
            return "port_held";
        case Outcome::Cancelled:
            return "cancelled";
        case Outcome::NoDevice:
            return "no_device";
        case Outcome::LinkLost:
            return "link_lost";
        case Outcome::UploadFailed:
            return "upload_failed";
        case Outcome::GoneAfterUpload:
            return "gone_after_upload";
        case Outcome::OtherVersionAfterUpload:
            return "other_version_after_upload";
    }
    return "failed";
}

Outcome OutcomeOf(Refusal refusal) {
    switch (refusal) {
        case Refusal::NotFitting:
            return Outcome::NotFitting;
        case Refusal::SameVersion:
            return Outcome::SameVersion;
        case Refusal::OlderVersion:
            return Outcome::OlderVersion;
        case Refusal::None:
            break;
    }
    return Outcome::Updated;
}

bool PackageRefused(Outcome outcome) {
    return outcome == Outcome::NotFitting || outcome == Outcome::SameVersion ||
           outcome == Outcome::OlderVersion;
}

std::optional<FlashResult> Precheck(const Found& found, const Package& package,
                                    const FlashOptions& options) {
    if (!options.untrusted.empty())
        return Ended(Outcome::Untrusted, options.untrusted);
    if (found.flags == 0)
        return Ended(Outcome::NoDevice, "no device answered on the port");
    const Admission admitted = Admit(package.header, found, options.policy);
    if (!admitted.Admitted())
        return Ended(OutcomeOf(admitted.refusal), admitted.why);
    const std::string shared = options.force ? "" : PortSharedWhy(found.path);
    if (!shared.empty())
        return Ended(Outcome::PortHeld, "the port " + shared);
    if (options.dryRun)
        return Ended(Outcome::WouldUpdate, "Would update " + std::string(found.description) +
                                               " from " + DeviceVersionText(found.version) +
                                               " to " + PackageVersion(package.header) + " (" +
                                               std::to_string(package.BodySize()) +
                                               " bytes). Nothing was sent.");
    return std::nullopt;
}

FlashResult Flash(BKQuillex& device, const Found& found, const Package& package,
                  const FlashOptions& options, FlashSteps& steps) {
    FlashResult f = FlashOpen(device, found, package, options, steps);
    device.ClosePort();
    return f;
}

std::string BridgeAdvice(const platform::LowLatencyHold& hold, uint64_t uploadBytes) {
    std::string advice = hold.Advice();
    if (!advice.empty() && uploadBytes > 0) {
        // A tick at most for each acknowledged block, and the command's.
        char saving[64];
        std::snprintf(saving, sizeof saving, " (up to %.1f s on this package)",
                      static_cast<double>(uploadBytes / 256 + 2) * (hold.TimerMs() - 1) / 1000.0);
        advice += saving;
    }
    return advice;
}

}  // namespace flash
