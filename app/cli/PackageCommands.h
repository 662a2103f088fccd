// The package commands of the brevik tool: info (a package described,
// every check) and update (checked once, admitted, flashed, read back).
#pragma once

#include "app/cli/CliSession.h"

namespace cli {

int Info(Session& s);
int Update(Session& s);

}  // namespace cli
