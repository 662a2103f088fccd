// The commands of the brevik tool that show or set what a device is doing:
// its emulation bank, its emulation mode, its serial number and its status.
// A family without the command is told so before anything is sent to it.
#pragma once

#include "app/cli/CliSession.h"

namespace cli {

int Bank(Session& s);
int Emulate(Session& s);
int SerialNumber(Session& s);
int Status(Session& s);

}  // namespace cli
