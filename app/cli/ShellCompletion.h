// Completion scripts for bash, zsh, fish and PowerShell, made from the
// command table through the parser: the commands, each command's options
// and operands, and the ports for --port. A port's names come from
// 'brevik ports', which holds text from devices: each script offers only
// the words it has checked itself, and never runs or expands them.
#pragma once

#include <string>
#include <string_view>

#include "app/cli/CliArguments.h"

namespace cli {

class Session;

// The script for shell ("bash", "zsh", "fish", "powershell"); "" for another.
std::string CompletionScript(std::string_view shell, const CommandLineShape& shape);

// brevik completion SHELL.
int Completion(Session& s);

}  // namespace cli
