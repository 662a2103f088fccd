// What may be flashed at all, on the command line: a package's judgement
// (signature, approved and blocked lists) for info, update and the station,
// and 'brevik keys', the trusted keys and where each came from.
#pragma once

#include <string>

#include "app/cli/CliSession.h"
#include "package/Package.h"

namespace cli {

// Judges the package read from path into s.trust and the document's
// "package" (sha256, signature). kCliSucceeded, or the exit code of a
// malformed --approved or --blocked (the judgement then is not made).
int JudgePackage(Session& s, const std::string& path, const Package& p);

// The verdict as a JSON object: state, key, fingerprint, file, refused.
Json SignatureJson(const flash::PackageTrust& trust);

int Keys(Session& s);

}  // namespace cli
