// The man page's section on each command, its operands and its own options,
// made from the command table through the parser, as help2man takes an
// included section.
#pragma once

#include <string>

#include "app/cli/CliArguments.h"

namespace cli {

std::string ManPageCommandsSection(const CommandLineShape& shape);

}  // namespace cli
