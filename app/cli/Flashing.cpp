#include "app/cli/Flashing.h"

#include <cmath>

#include "app/cli/CliExitCodes.h"
#include "app/common/DeviceTexts.h"

namespace cli {

using flash::Outcome;

flash::FlashOptions FlashOptionsOf(const Session& s) {
    const CliArguments& args = s.args;
    flash::FlashOptions options;
    options.untrusted = s.trust.refused ? s.trust.why : "";
    options.policy.allowReinstall = args.allowReinstall;
    options.policy.allowOlder = args.allowOlder;
    options.force = args.force;
    options.fast = args.fast;
    options.dryRun = args.dryRun;
    return options;
}

int ExitCodeFor(const flash::FlashResult& f) {
    switch (f.outcome) {
        case Outcome::Updated:
        case Outcome::WouldUpdate:
            return kCliSucceeded;
        case Outcome::NotFitting:
        case Outcome::Untrusted:
            return kCliBadPackage;
        case Outcome::SameVersion:
        case Outcome::OlderVersion:
        case Outcome::OtherVersionAfterUpload:
            return kCliFailed;
        case Outcome::PortHeld:
            return kCliPortBusy;
        case Outcome::Cancelled:
            return kCliCancelled;
        case Outcome::NoDevice:
        case Outcome::LinkLost:
        case Outcome::GoneAfterUpload:
            return kCliNoDevice;
        case Outcome::UploadFailed:
            return ExitCodeForResult(f.result);
    }
    return kCliFailed;
}

void AddOutcome(const flash::FlashResult& f, bool fast, Json* entry) {
    (*entry)["outcome"] = flash::OutcomeName(f.outcome);
    (*entry)["message"] = f.message;
    if (f.uploaded)
        (*entry)["result"] = ResultCodeName(f.result);
    if (!f.now.empty())
        (*entry)["now"] = f.now;
    if (!f.bridge.empty())
        (*entry)["bridge_advice"] = f.bridge;
    if (fast)
        (*entry)["link_rate"] = f.linkRate;
    if (f.uploaded && f.upload.seconds > 0) {
        const double seconds = std::round(f.upload.seconds * 1000) / 1000;
        (*entry)["upload"] = {{"bytes", f.upload.bytes},
                              {"seconds", seconds},
                              {"baud", f.upload.baud},
                              {"wire_share", std::round(flash::WireShare(f.upload) * 100) / 100},
                              {"summary", flash::UploadSummary(f.upload)}};
    }
    if (!f.explained)
        return;
    (*entry)["stage"] = f.explained->stage;
    (*entry)["stopped"] = f.explained->stopped;
    (*entry)["blocks_acknowledged"] = f.blocksAcknowledged;
    (*entry)["device_state"] = f.explained->deviceState;
    (*entry)["hint"] = NextStep(*f.explained);
}

const char* ErrorClass(flash::Outcome outcome) {
    using flash::Outcome;
    switch (outcome) {
        case Outcome::Updated:
        case Outcome::WouldUpdate:
            return "none";
        case Outcome::NotFitting:
        case Outcome::Untrusted:
        case Outcome::SameVersion:
        case Outcome::OlderVersion:
            return "policy";
        case Outcome::PortHeld:
        case Outcome::NoDevice:
            return "environment";
        case Outcome::Cancelled:
            return "operator";
        case Outcome::LinkLost:
            return "link";
        case Outcome::UploadFailed:
        case Outcome::GoneAfterUpload:
        case Outcome::OtherVersionAfterUpload:
            break;
    }
    return "device";
}

std::string NextStep(const flash::UpdateExplanation& e) {
    if (!e.retryIsAReinstall)
        return e.hint;
    return e.hint + " with --allow-reinstall (the device may already report the new version)";
}

std::string OutcomeLine(const flash::FlashResult& f) {
    if (f.outcome == flash::Outcome::Updated && f.upload.seconds > 0)
        return f.message + " (" + flash::UploadSummary(f.upload) + ")";
    if (!f.explained)
        return f.message;
    return f.message + "; the device " + f.explained->state + "; next: " + NextStep(*f.explained);
}

}  // namespace cli
