// The command line's side of the one flash flow: its options as the flow's,
// and an outcome as an exit code and as the JSON fields of a result, the
// same for update, update --all and the station.
#pragma once

#include "app/cli/CliSession.h"
#include "app/flash/FlashFlow.h"

namespace cli {

flash::FlashOptions FlashOptionsOf(const Session& s);

// How a run over several devices (--all, the station) ends when one failed.
constexpr const char* kNotEveryDeviceUpdated = "not every device was updated";

// The exit code of an outcome (an upload's failure by its result code).
int ExitCodeFor(const flash::FlashResult& f);

// An outcome as the fields of a result's JSON: outcome, message, the
// library's result, the version read back, the bridge's advice, the link
// rate (with --fast) and, after a failure, how far it came and what next.
void AddOutcome(const flash::FlashResult& f, bool fast, Json* entry);

// The kind of failure an outcome is, for a results store to group by:
// none, policy (the package refused), environment (no device, a port held),
// operator (stopped), link (the line lost) or device (it failed the upload
// or its read-back).
const char* ErrorClass(flash::Outcome outcome);

// The next step after a failed update, as the command line says it: with
// the option a retry needs when the device may report the new version.
std::string NextStep(const flash::UpdateExplanation& e);

// An outcome for people on one line: the message, and after a failure what
// the device is left with and the next step.
std::string OutcomeLine(const flash::FlashResult& f);

}  // namespace cli
