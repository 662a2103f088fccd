// Flashing one device, the same for every front end: the package admitted
// (made for this hardware, and a version the policy lets through), the port
// free of other programs, the link rate raised on request, the upload, and
// the version read back. It ends in one typed outcome; the front ends differ
// only in how they show each step and word, count or map that outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/flash/Admission.h"
#include "app/flash/UpdateExplanation.h"
#include "app/flash/UploadSummary.h"
#include "package/Package.h"
#include "platform/BridgeLatency.h"
#include "ui/ProgressBar.h"

namespace flash {

enum class Outcome {
    Updated,                  // flashed, and the device runs the package's version
    WouldUpdate,              // a dry run that would flash: nothing was sent
    Untrusted,                // the package may not be flashed at all (signature, lists)
    NotFitting,               // the package is for other hardware
    SameVersion,              // the device already runs the package's version
    OlderVersion,             // the package is older than the device's firmware
    PortHeld,                 // another program has the port open
    Cancelled,                // stopped before anything was sent
    NoDevice,                 // no device answered on the port
    LinkLost,                 // the device answers at no link rate for the upload
    UploadFailed,             // the upload ended with a failure (result says which)
    GoneAfterUpload,          // the upload ended well, then no device answered
    OtherVersionAfterUpload,  // the upload ended well, then the device ran another version
};

// What a stop before anything was sent says.
constexpr const char* kCancelledBeforeSending =
    "cancelled before the update began; nothing was sent";

// "updated", "would_update", "not_fitting", ...: the outcome in JSON and logs.
const char* OutcomeName(Outcome outcome);

// The refusal of an admission as the outcome it ends in.
Outcome OutcomeOf(Refusal refusal);
// Whether the package was not for this device as it is (other hardware, or a
// version the policy keeps off it): the device is passed over, not failed.
bool PackageRefused(Outcome outcome);

struct FlashOptions {
    Policy policy;
    bool force = false;   // go on although another program has the port open
    bool fast = false;    // raise the link rate for the upload
    bool dryRun = false;  // judge everything, send nothing
    // Why the package may not be flashed on any device (its signature, the
    // approved or blocked list), "" when it may: the package's judgement.
    std::string untrusted;
};

struct FlashResult {
    Outcome outcome = Outcome::Updated;
    std::string message;    // for people: the dialog's words, or what went wrong
    bool uploaded = false;  // the upload ran (to whatever end)
    int result = QX_S_OK;   // the library's result code of the upload
    std::string now;        // the version read back
    std::string bridge;     // how to lower the bridge's latency timer, when it stayed high
    int linkRate = kStartLinkRate;
    uint32_t blocksAcknowledged = 0;
    UploadFigures upload;  // how the upload went, when it ran
    // After a failure of the upload or its read-back: how far it came, what
    // the device is left with and the next step.
    std::optional<UpdateExplanation> explained;

    bool Succeeded() const {
        return outcome == Outcome::Updated || outcome == Outcome::WouldUpdate;
    }
};

// How a front end takes part in the steps: each is called as the flow
// reaches it; none decides anything the flow decides.
class FlashSteps {
  public:
    virtual ~FlashSteps() = default;
    // Checked once before anything is sent: true ends the flow as Cancelled.
    virtual bool StopRequested() { return false; }
    // Bytes are about to go out: from here the flow runs to its end.
    virtual void Committed() {}
    // With --fast: the rate chosen, in a sentence.
    virtual void RateChosen(const std::string& /*said*/) {}
    // The upload begins; the bar it returns (or null) follows its blocks.
    virtual ui::ProgressBar* UploadBegins(const Found& /*found*/, uint64_t /*bytes*/) {
        return nullptr;
    }
    virtual void UploadEnds(bool /*completed*/) {}
};

// What stops the package before anything is sent to the device found: the
// admission, another program on the port, a dry run. Nothing when the upload
// may go on. The port stays as it is.
std::optional<FlashResult> Precheck(const Found& found, const Package& package,
                                    const FlashOptions& options);

// The whole flow on the device found with this device object (its port open
// from the detection); the port is closed when it returns.
FlashResult Flash(BKQuillex& device, const Found& found, const Package& package,
                  const FlashOptions& options, FlashSteps& steps);

// What the hold says about the bridge's timer, with what the timer costs an
// upload of uploadBytes (0: no upload); "" when it was lowered or is low.
std::string BridgeAdvice(const platform::LowLatencyHold& hold, uint64_t uploadBytes);

}  // namespace flash
