#include "app/cli/CommandTable.h"

#include <algorithm>

#include "app/cli/DeviceStateCommands.h"
#include "app/cli/MemoryCommands.h"
#include "app/cli/PackageCommands.h"
#include "app/cli/PortCommands.h"
#include "app/cli/ShellCompletion.h"
#include "app/cli/TrustCommands.h"

namespace cli {
namespace {

constexpr CommandFlag kForce = {
    "--force", &CliArguments::force,
    "go on although another program has the port open (it may take the device's replies)"};
constexpr CommandFlag kNoBulk = {"--no-bulk", &CliArguments::noBulk, "block packets only"};
constexpr CommandFlag kPlain = {"--plain", &CliArguments::plain, "Dunmarra: no scrambling"};

constexpr CommandFlag kWait = {
    "--wait", &CliArguments::wait,
    "when no device answers, wait for one to be plugged in: up to SECONDS, or without a limit",
    "[=SECONDS]"};
constexpr CommandFlag kDetectFlags[] = {
    {"--all", &CliArguments::all,
     "find every attached device, probing the ports in parallel (with --port: that port only)"},
    kWait,
};
constexpr CommandFlag kUpdateFlags[] = {
    kForce,
    {"--all", &CliArguments::all,
     "flash every attached device the package fits, in parallel (with --port: that port only; "
     "--fast applies to each)"},
    {"--fast", &CliArguments::fast, "upload at 921600 baud when the device is on USB and takes it"},
    {"--allow-reinstall", &CliArguments::allowReinstall,
     "flash the version the device already has"},
    {"--allow-older", &CliArguments::allowOlder, "flash a version older than the device's"},
    {"--dry-run", &CliArguments::dryRun,
     "check everything and say what would be flashed; send nothing but the detection"},
    kWait,
    {"--watch", &CliArguments::watch,
     "station mode: flash every device the package fits as it is plugged in, until Ctrl+C "
     "(which lets the uploads under way finish)"},
    {"--log", &CliArguments::log,
     "with --watch: append one JSON line per device to FILE (time, names, versions, result)",
     "FILE"},
    {"--reflash", &CliArguments::reflash,
     "with --watch: flash a device again when it is replugged (by default once per run)"},
    {"--count", &CliArguments::count,
     "with --watch: end after N devices were flashed (exit 0 when all of them were updated)", "N"},
    {"--expect", &CliArguments::expect,
     "with --all: fail (exit 3) when fewer than N devices answer, before anything is sent", "N"},
};
constexpr CommandFlag kFormat = {
    "--format", &CliArguments::format,
    "the file's format: Intel HEX, S-records or raw bytes (default: from the content, then the "
    "name's extension)",
    "", "ihex srec bin"};
constexpr CommandFlag kFill = {
    "--fill", &CliArguments::fill,
    "a record file's gaps take BYTE (by default they are left as the device has them)", "BYTE"};
constexpr CommandFlag kReadFlags[] = {
    kNoBulk,
    kPlain,
    {"--format", &CliArguments::format,
     "write FILE as Intel HEX, S-records or raw bytes (default: from its extension; raw bytes)", "",
     "ihex srec bin"}};
constexpr CommandFlag kWriteFlags[] = {
    kForce,
    kNoBulk,
    kPlain,
    kFormat,
    kFill,
    {"--watch", &CliArguments::watch,
     "then wait: each time IMAGE is written again, write the blocks that changed and verify them, "
     "until Ctrl+C"}};
constexpr CommandFlag kVerifyFlags[] = {kNoBulk, kPlain, kFormat, kFill};

int Write(Session& s) {
    return WriteOrVerify(s, false);
}

int Verify(Session& s) {
    return WriteOrVerify(s, true);
}

const Command kCommands[] = {
    {"ports", "", {}, Ports, "list the port table"},
    {"detect", "", kDetectFlags, Detect, "find the device and describe it"},
    {"info",
     "PACKAGE",
     {},
     Info,
     "check a firmware package and describe it, or show a memory image's addresses and size, "
     "without a device"},
    {"update", "PACKAGE", kUpdateFlags, Update, "check a firmware package and flash it"},
    {"keys",
     "",
     {},
     Keys,
     "list the makers' keys packages are checked against, where each came from, and the policy"},
    {"read", "ADDRESS SIZE FILE", kReadFlags, ReadMemory,
     "read device memory into FILE ('-': standard output)"},
    {"write", "ADDRESS IMAGE", kWriteFlags, Write,
     "write IMAGE into device memory, its first byte at ADDRESS"},
    {"verify", "ADDRESS IMAGE", kVerifyFlags, Verify, "compare device memory with IMAGE"},
    {"eeprom", "ADDRESS SIZE", {}, Eeprom, "show configuration memory (1..256 bytes)"},
    {"bank", "[N]", {}, Bank, "show the emulation bank, or set it to N (Tessaly)"},
    {"emulate", "[MODE]", {}, Emulate, "show the emulation mode, or set it to E or T (Dunmarra)"},
    {"serial", "", {}, SerialNumber, "show the device's serial number (Dunmarra)"},
    {"status", "", {}, Status, "show the device's status reply and its three status words"},
    {"doctor",
     "",
     {},
     Doctor,
     "find what on this machine stops a flash (access, programs holding a port, services that "
     "take bridges, the bridge's timer), each with its fix"},
    {"completion",
     "SHELL",
     {},
     Completion,
     "print the completion script of SHELL (its packages install it where the shell looks)"},
    {"help", "", {}, nullptr, "show this help"},
};

struct Operand {
    const char* name;
    const char* help;
    OperandValues values;
};

constexpr Operand kOperands[] = {
    {"PACKAGE", "a firmware package (.bfw)", {true, ".bfw"}},
    {"ADDRESS", "where in device memory (configuration memory for eeprom) to start", {}},
    {"SIZE", "how many bytes", {}},
    {"FILE", "the data: a file, or '-' for standard output", {true}},
    {"IMAGE",
     "a memory image: Intel HEX (.hex, .ihx), S-records (.s19, .s28, .s37, .srec, .mot) or raw "
     "bytes; a record file's lowest address goes to ADDRESS, the rest keeping their distance",
     {true}},
    {"N", "a bank: 0 to 7, or 8 for the whole memory as one image", {}},
    {"MODE", "an emulation mode", {false, "", "E T"}},
    {"SHELL", "bash, zsh, fish or powershell", {false, "", "bash zsh fish powershell"}},
};

// "[N]", an operand that may be left out, is found as "N".
const Operand* FindOperand(std::string_view name) {
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    const auto found = std::find_if(std::begin(kOperands), std::end(kOperands),
                                    [name](const Operand& o) { return name == o.name; });
    return found != std::end(kOperands) ? found : nullptr;
}

}  // namespace

const char* OperandHelp(std::string_view operand) {
    const Operand* o = FindOperand(operand);
    return o != nullptr ? o->help : "";
}

OperandValues OperandCompletion(std::string_view operand) {
    const Operand* o = FindOperand(operand);
    return o != nullptr ? o->values : OperandValues{};
}

std::span<const Command> Commands() {
    return kCommands;
}

const Command* FindCommand(std::string_view name) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [name](const Command& c) { return name == c.name; });
    return found != std::end(kCommands) ? found : nullptr;
}

}  // namespace cli
