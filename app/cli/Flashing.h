// The steps of flashing one device, shared by a single update, --all and
// the station mode: whether the package may go on, the raised link rate,
// the upload with its read-back, and how a result is told.
#pragma once

#include <optional>
#include <string>

#include "app/cli/CliSession.h"
#include "app/cli/DeviceFinding.h"
#include "app/cli/UpdateExplanation.h"
#include "package/PackageFile.h"

namespace cli {

// A package's version written as the device writes its own (02.12.Q): one
// form in every message and document, so the two compare at a glance.
std::string PackageVersion(const PackageHeader& header);

// Whether the package may go onto the device found: code 0, or the exit code
// and why not.
struct Admission {
    int code = kCliSucceeded;
    std::string why;
};
Admission Admit(const Session& s, const PackageHeader& header, const Found& found);

// --fast: the device on the fastest link rate that carries its replies, and
// one sentence saying which and, when not the first tried, why.
struct Raised {
    bool lost = false;  // the device answers at no rate any more
    int rate = kStartLinkRate;
    std::string said;
};
Raised RaiseForUpload(BKQuillex& device, uint32_t flags);

struct Flashed {
    int code = kCliSucceeded;
    std::string message;  // for people: the dialog's words, or what went wrong after
    std::string result;   // the library's result name
    std::string now;      // the version read back
    std::string bridge;   // how to lower the bridge's latency timer, when it stayed high
    int linkRate = kStartLinkRate;
    // After a failure: how far it came and what the device is left with.
    std::optional<UpdateExplanation> explained;
    uint32_t blocksAcknowledged = 0;
};

// The explanation of a failure as the JSON fields of an update's result.
void AddExplanation(const Flashed& f, Json* entry);

// Uploads the package into the device found on its port, then reads the
// version back: a status byte that said success is not taken for the new
// firmware running. The port is closed afterwards.
Flashed FlashAndReadBack(BKQuillex& device, const Found& found, const Package& package,
                         ui::ProgressBar* progress);

}  // namespace cli
