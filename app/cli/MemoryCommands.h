// The memory commands of the brevik tool: read, write and verify device
// memory, and show configuration memory (eeprom).
#pragma once

#include "app/cli/CliSession.h"

namespace cli {

int ReadMemory(Session& s);
int WriteOrVerify(Session& s, bool verify);
int Eeprom(Session& s);

}  // namespace cli
