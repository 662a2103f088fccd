// Station mode (update --watch): every device the package fits is flashed
// as it is plugged in, each on a thread of its own, so boards plugged in
// one after another flash side by side; a stop signal ends the watch and
// lets the uploads under way finish. Each result is a line on the terminal
// and, with --log, one JSON line appended to the log.
#pragma once

#include "app/cli/CliSession.h"
#include "package/PackageFile.h"

namespace cli {

int WatchAndUpdate(Session& s, const Package& package);

}  // namespace cli
