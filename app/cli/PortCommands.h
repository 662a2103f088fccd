// The commands about ports and devices: ports (the port table with what
// each port is) and detect (the device, or every device, and what it is).
#pragma once

#include "app/cli/CliSession.h"

namespace cli {

int Ports(Session& s);
int Detect(Session& s);

}  // namespace cli
