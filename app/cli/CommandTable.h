// The commands of the brevik tool, one row each: the parser, the dispatch,
// the help (and the man page made from it) read this table; the bash
// completion is checked against the help it prints.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "app/cli/CliArguments.h"

namespace cli {

class Session;

// An option of one command, setting a member of CliArguments: a flag
// (bool), a number the option may carry (--wait[=SECONDS]; given bare it
// means no limit: -1) or a value it must carry (--log FILE).
// A flag; a number whose value may be left out (--wait); a count that needs
// its value (--count 5); a text.
using OptionTarget = std::variant<bool CliArguments::*, int CliArguments::*,
                                  unsigned CliArguments::*, std::string CliArguments::*>;
struct CommandFlag {
    const char* name;  // "--all"
    OptionTarget flag;
    const char* help;
    const char* valueName = "";  // "SECONDS", "FILE": what help shows after the name
    const char* choices = "";    // blank-separated: the only values a text takes
};

struct Command {
    const char* name;
    const char* operands;  // as help shows them, blank-separated: "ADDRESS SIZE FILE"
    std::span<const CommandFlag> flags;
    int (*run)(Session&);  // null: the parser answers (help)
    const char* help;
};

std::span<const Command> Commands();

// What an operand name of the table stands for, as help says it.
const char* OperandHelp(std::string_view operand);

// What completing an operand offers: files (those ending in fileSuffix when
// it is not empty), the words of a list, or nothing.
struct OperandValues {
    bool files = false;
    const char* fileSuffix = "";  // ".bfw"
    const char* words = "";       // blank-separated
};
OperandValues OperandCompletion(std::string_view operand);

// The row of a command name; null for none.
const Command* FindCommand(std::string_view name);

}  // namespace cli
