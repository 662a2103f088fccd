// The command line of the brevik tool: a command, its operands, and the
// options that may stand anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CliArguments {
    std::string command;
    std::vector<std::string> operands;
    bool trace = false;   // --trace: the device link's trace lines
    bool noBulk = false;  // --no-bulk: block packets only
    bool plain = false;   // --plain: no Dunmarra scrambling
    std::string port;     // --port COMn or a device path: only that port
    std::string capture;  // --capture FILE: the serial session into FILE
};

// False with a reason for an unknown option or a missing option value.
bool ParseCliArguments(int argc, const char* const* argv, CliArguments* out, std::string* error);

// A number as "0x1F00" (hexadecimal) or "7936" (decimal), 32-bit at most;
// nothing else (no blanks, no sign).
bool ParseCliNumber(const std::string& text, uint32_t* value);

// What the tool says to "brevik help" and to a wrong command line.
const char* CliUsage();
