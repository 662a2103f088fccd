#include "app/cli/CliArguments.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "app/cli/CliExitCodes.h"

namespace {

struct CommandEntry {
    const char* name;
    const char* description;
    const char* operands;  // names of the positional operands, blank-separated
};

constexpr CommandEntry kCommands[] = {
    {"ports", "list the port table", ""},
    {"detect", "find the device and describe it", ""},
    {"info", "check a firmware package and describe it, without a device", "PACKAGE"},
    {"update", "check a firmware package and flash it", "PACKAGE"},
    {"read", "read device memory into FILE ('-': standard output)", "ADDRESS SIZE FILE"},
    {"write", "write FILE into device memory", "ADDRESS FILE"},
    {"verify", "compare device memory with FILE", "ADDRESS FILE"},
    {"eeprom", "show configuration memory (1..256 bytes)", "ADDRESS SIZE"},
    {"help", "show this help", ""},
};

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

const char* kFooter =
    "Numbers are decimal or 0x-hexadecimal. Ctrl+C stops the search for a device\n"
    "and a memory transfer between packets (exit 130). A firmware upload, once\n"
    "begun, runs to its end: Ctrl+C, SIGTERM and SIGHUP (the terminal closed) wait\n"
    "for it and then end the program with their usual code (130, 143, 129); an\n"
    "output that went away (| head) does not stop it. On Windows a closed console\n"
    "or a logoff waits only as long as the system lets it (5 to 20 seconds).\n"
    "read FILE writes a new file beside FILE and puts it in FILE's place only when\n"
    "whole; a FILE that is a link, folder, pipe or device is refused.\n"
    "--capture FILE (or BREVIK_CAPTURE) writes every byte of the serial session,\n"
    "both ways and time-stamped, into FILE; brevik-sim --replay FILE serves it\n"
    "back as a device. BREVIK_PORT is the default of --port.\n";

}  // namespace

CliParse ParseCliArguments(int argc, const char* const* argv, CliArguments* out) {
    *out = CliArguments{};
    CliParse parse;
    CLI::App app(
        "brevik: the Brevik firmware update utility and device library from the "
        "command line.",
        "brevik");
    app.footer(std::string(kFooter) + "\n" + ExitCodeHelp());
    app.set_version_flag("--version", std::string("brevik ") + BREVIK_VERSION);
    app.require_subcommand(0, 1);
    app.fallthrough();
    if (const char* port = std::getenv("BREVIK_PORT"); port != nullptr)
        out->port = port;
    app.add_option("-p,--port", out->port, "only this port: COMn or a device path")
        ->envname("BREVIK_PORT");
    app.add_flag("--trace", out->trace,
                 "show the device link's trace lines on stderr; --trace=2 adds hex dumps of "
                 "every exchange");
    app.add_option("--capture", out->capture, "write the serial session into FILE");
    app.add_flag("--json", out->json, "print one JSON document on stdout");
    app.add_flag("-q,--quiet", out->quiet, "no progress");
    std::string progress;
    app.add_option("--progress", progress, "json: progress as JSON lines on stderr")
        ->check(CLI::IsMember({"json"}));

    std::vector<std::vector<std::string>> operands(std::size(kCommands));
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        const CommandEntry& entry = kCommands[i];
        CLI::App* command = app.add_subcommand(entry.name, entry.description);
        const std::vector<std::string> names = Words(entry.operands);
        if (!names.empty()) {
            std::string joined;
            for (const std::string& n : names)
                joined += (joined.empty() ? "" : " ") + n;
            command->add_option("operands", operands[i], joined)
                ->expected(static_cast<int>(names.size()))
                ->required();
        }
        const std::string name = entry.name;
        if (name == "update" || name == "write")
            command->add_flag("--force", out->force,
                              "go on although another program has the port open (it may take "
                              "the device's replies)");
        if (name == "read" || name == "write" || name == "verify") {
            command->add_flag("--no-bulk", out->noBulk, "block packets only");
            command->add_flag("--plain", out->plain, "Dunmarra: no scrambling");
        }
        if (name == "detect")
            command->add_flag("--all", out->all,
                              "find every attached device, probing the ports "
                              "in parallel (with --port: that port only)");
        if (name == "update") {
            command->add_flag("--all", out->all,
                              "flash every attached device the package fits, in parallel "
                              "(with --port: that port only; --fast applies to each)");
            command->add_flag("--fast", out->fast,
                              "upload at 921600 baud when the device is on USB and takes it");
            command->add_flag("--allow-reinstall", out->allowReinstall,
                              "flash the version the device already has");
            command->add_flag("--allow-older", out->allowOlder,
                              "flash a version older than the device's");
            command->add_flag("--dry-run", out->dryRun,
                              "check everything and say what would be flashed; send nothing "
                              "but the detection");
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        std::ostringstream text;
        app.exit(e, text, text);
        parse.out = text.str();
        return parse;
    } catch (const CLI::CallForVersion& e) {
        parse.out = std::string("brevik ") + BREVIK_VERSION + "\n";
        return parse;
    } catch (const CLI::ParseError& e) {
        parse.exitCode = kCliUsageError;
        parse.err = std::string("brevik: ") + e.what() + "\nRun 'brevik --help' for more.\n";
        return parse;
    }
    out->jsonProgress = progress == "json";
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        if (app.got_subcommand(kCommands[i].name)) {
            out->command = kCommands[i].name;
            out->operands = operands[i];
        }
    }
    if (out->command == "help" || out->command.empty()) {
        parse.out = app.help();
        parse.exitCode = out->command.empty() ? kCliUsageError : kCliSucceeded;
        if (out->command.empty()) {
            parse.err = parse.out;
            parse.out.clear();
        }
        return parse;
    }
    parse.run = true;
    return parse;
}

bool ParseCliNumber(const std::string& text, uint32_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    // Digits only: strtoull alone would also take leading blanks, a sign and
    // a second 0x after the first.
    for (const char* c = digits; *c != '\0'; ++c) {
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(*c))
                  : std::isdigit(static_cast<unsigned char>(*c))))
            return false;
    }
    if (*digits == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(digits, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull)
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}
