// The command line of the brevik tool: a command, its operands, and the
// options, parsed with CLI11. Options of the tool may stand before or after
// the command; "--" ends the options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CliArguments {
    std::string command;
    std::vector<std::string> operands;
    int trace = 0;                // --trace: the device link's trace lines; =2 with hex dumps
    bool noBulk = false;          // --no-bulk: block packets only
    bool plain = false;           // --plain: no Dunmarra scrambling
    std::string port;             // --port/-p COMn or a device path (default BREVIK_PORT)
    std::string capture;          // --capture FILE: the serial session into FILE
    bool json = false;            // --json: one JSON document on stdout
    bool quiet = false;           // --quiet: no progress
    bool jsonProgress = false;    // --progress=json: progress as JSON lines on stderr
    bool allowReinstall = false;  // update: the version already on the device
    bool allowOlder = false;      // update: an older version
    bool dryRun = false;          // update: check everything, send nothing
    bool all = false;             // detect, update: every attached device
    bool fast = false;            // update: at 921600 baud where the device takes it
    bool force = false;           // update, write: even with the port open elsewhere
    int wait = 0;                 // detect, update: seconds to wait for a device; -1 no limit
    bool watch = false;           // update: flash each device as it is plugged in
    std::string log;              // update --watch: a JSON line per device into this file
    bool reflash = false;         // update --watch: again after a replug
    unsigned count = 0;           // update --watch: end after this many boards (0: no end)
    unsigned expect = 0;          // update --all: fewer devices answering is a failure
    std::string format;           // read, write, verify: ihex, srec or bin, over the name's
    std::string fill;             // write, verify: the byte the gaps of a record file take
    // Which packages may be flashed at all, on top of the administrator's
    // policy, which these only tighten: --signatures (BREVIK_SIGNATURES),
    // --approved and --blocked (each may be given again).
    std::string signatures;
    std::vector<std::string> approved;
    bool approvedGiven = false;
    std::vector<std::string> blocked;
    // Where the administrator's and this user's policy and keys are: the
    // system's own places, never set from the command line or environment.
    std::string systemFolder;
    std::string userFolder;
};

// What parsing decided: run the command, or end with exitCode after printing
// out (help, version) and err (what is wrong, in one line, and a hint).
struct CliParse {
    bool run = false;
    int exitCode = 0;
    std::string out;
    std::string err;
};

CliParse ParseCliArguments(int argc, const char* const* argv, CliArguments* out);

// A number as "0x1F00" (hexadecimal) or "7936" (decimal), 32-bit at most;
// nothing else (no blanks, no sign).
bool ParseCliNumber(const std::string& text, uint32_t* value);

// The command line as the parser knows it, for the text made from it: the
// completion scripts and the man page's options of each command.
struct OptionShape {
    std::vector<std::string> names;    // "--port", "-p"
    std::string value;                 // "" for a flag, else what help shows: "PORT", "FILE"
    bool valueOptional = false;        // --wait[=SECONDS]
    std::vector<std::string> choices;  // the only values taken, when the parser has a list
    std::string help;
};
struct CommandShape {
    std::string name;
    std::string help;
    std::vector<std::string> operands;  // "ADDRESS", "FILE"
    std::vector<OptionShape> options;   // its own, after those of every command
};
struct CommandLineShape {
    std::vector<OptionShape> common;  // the options of every command
    std::vector<CommandShape> commands;
};
CommandLineShape DescribeCommandLine();
