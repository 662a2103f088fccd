#include "app/cli/CommandTable.h"

#include <algorithm>

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
constexpr CommandFlag kReadFlags[] = {kNoBulk, kPlain};
constexpr CommandFlag kWriteFlags[] = {kForce, kNoBulk, kPlain};

int Write(Session& s) {
    return WriteOrVerify(s, false);
}

int Verify(Session& s) {
    return WriteOrVerify(s, true);
}

const Command kCommands[] = {
    {"ports", "", {}, Ports, "list the port table"},
    {"detect", "", kDetectFlags, Detect, "find the device and describe it"},
    {"info", "PACKAGE", {}, Info, "check a firmware package and describe it, without a device"},
    {"update", "PACKAGE", kUpdateFlags, Update, "check a firmware package and flash it"},
    {"keys",
     "",
     {},
     Keys,
     "list the makers' keys packages are checked against, where each came from, and the policy"},
    {"read", "ADDRESS SIZE FILE", kReadFlags, ReadMemory,
     "read device memory into FILE ('-': standard output)"},
    {"write", "ADDRESS FILE", kWriteFlags, Write, "write FILE into device memory"},
    {"verify", "ADDRESS FILE", kReadFlags, Verify, "compare device memory with FILE"},
    {"eeprom", "ADDRESS SIZE", {}, Eeprom, "show configuration memory (1..256 bytes)"},
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
    {"FILE", "the data: a file, or '-' for standard output (read)", {true}},
    {"SHELL", "bash, zsh, fish or powershell", {false, "", "bash zsh fish powershell"}},
};

const Operand* FindOperand(std::string_view name) {
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
