// The commands about ports and devices: ports (the port table with what
// each port is), detect (the device, or every device, and what it is) and
// doctor (what on this machine stands in a flash's way).
#pragma once

#include "app/cli/CliSession.h"

namespace cli {

int Ports(Session& s);
int Detect(Session& s);
// What on this machine can stop a flash, for it and each port, with the fix.
int Doctor(Session& s);

}  // namespace cli
