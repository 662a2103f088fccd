#include "app/cli/CliArguments.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "app/cli/CliExitCodes.h"
#include "app/cli/CommandTable.h"
#include "app/cli/JsonDocument.h"
#include "app/cli/RunCommand.h"
#include "app/flash/PackageTrust.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"

namespace {

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// A command's help lists the options every command takes after its own
// and points to the notes and exit codes of 'brevik --help', said once there.
class CommandHelp : public CLI::Formatter {
  public:
    // "--wait", not the parser's "--wait{-1}".
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string name = Formatter::make_option_name(option, positional);
        for (size_t open; (open = name.find('{')) != std::string::npos;)
            name.erase(open, name.find('}', open) - open + 1);
        return name;
    }
    std::string make_footer(const CLI::App* app) const override {
        const CLI::App* top = app->get_parent();
        if (top == nullptr)
            return Formatter::make_footer(app);
        const std::vector<const CLI::Option*> common =
            top->get_options([top](const CLI::Option* o) {
                return o != top->get_help_ptr() && o->get_name() != "--version";
            });
        std::string group = make_group("Options of every command", false, common);
        return group.substr(group.find_first_not_of('\n')) +
               "\nNotes and exit codes: brevik --help\n";
    }
};

const char* kFooter =
    "Numbers are decimal or 0x-hexadecimal. Ctrl+C stops the search for a device\n"
    "and a memory transfer between packets (exit 130); SIGTERM and SIGHUP stop a\n"
    "transfer the same way (143, 129). A firmware upload, once\n"
    "begun, runs to its end: Ctrl+C, SIGTERM and SIGHUP (the terminal closed) wait\n"
    "for it and then end the program with their usual code (130, 143, 129); an\n"
    "output that went away (| head) does not stop it. On Windows a closed console\n"
    "or a logoff waits only as long as the system lets it (5 to 20 seconds).\n"
    "read FILE writes a new file beside FILE and puts it in FILE's place only when\n"
    "whole; a FILE that is a link, folder, pipe or device is refused.\n"
    "--capture FILE (or BREVIK_CAPTURE) writes every byte of the serial session,\n"
    "both ways and time-stamped, into FILE; brevik-sim --replay FILE serves it\n"
    "back as a device. BREVIK_PORT is the default of --port.\n"
    "Settings: ~/.config/brevik/config ($XDG_CONFIG_HOME/brevik/config; on Windows\n"
    "%APPDATA%\\Brevik\\config) holds defaults under the options' own names, for\n"
    "example 'port = \"usb:A1B2C3\"', 'progress = \"json\"', 'quiet = true', and under\n"
    "'[update]' 'fast = true'. The command line, then BREVIK_PORT, win over it;\n"
    "--config FILE reads another file.\n"
    "Signed packages: NAME.bfw.sig beside NAME.bfw is checked against the makers'\n"
    "keys (NAME.pem) in ~/.config/brevik/keys and /etc/brevik/keys ('brevik keys').\n"
    "/etc/brevik/config sets signatures, approved and blocked for everyone; the\n"
    "user's settings, options and BREVIK_SIGNATURES only tighten it.\n";

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The settings file as TOML, less its port when BREVIK_PORT names one (and
// its signatures when BREVIK_SIGNATURES does): the
// environment wins over the file, the command line over both. (The parser
// itself lets a file's value stand over the environment's.)
class SettingsFile : public CLI::ConfigBase {
  public:
    std::vector<CLI::ConfigItem> from_config(std::istream& in) const override {
        std::vector<CLI::ConfigItem> items = ConfigBase::from_config(in);
        for (const char* name : {"port", "signatures"}) {
            const std::string variable = "BREVIK_" + Upper(name);
            if (std::getenv(variable.c_str()) != nullptr)
                std::erase_if(items, [name](const CLI::ConfigItem& item) {
                    return item.parents.empty() && item.name == name;
                });
        }
        return items;
    }
};

// Only a regular file is read as settings: a pipe or device would be waited
// on, or never end. "" when FILE may be read.
std::string RefusedSettingsFile(const std::string& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(platform::FilePath(file), ec);
    if (!file.empty() && !ec && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status))
        return "the settings file " + file + " is not a regular file";
    return "";
}

// What the parser took of the line, even when it then failed: whether
// --json was given (a usage error is then one document on stdout, as every
// run's outcome is) and the command named.
struct ParsedSoFar {
    bool json = false;
    nlohmann::ordered_json command;
};

ParsedSoFar WhatWasParsed(const CLI::App& app) {
    ParsedSoFar parsed;
    parsed.json = app.get_option("--json")->count() > 0;
    for (const CLI::App* command : app.get_subcommands())
        parsed.command = command->get_name();
    return parsed;
}

void AddOption(CLI::App* command, const cli::CommandFlag& option, CliArguments* out) {
    const std::string name = option.name;
    if (auto flag = std::get_if<bool CliArguments::*>(&option.flag)) {
        command->add_flag(name, out->**flag, option.help);
    } else if (auto number = std::get_if<int CliArguments::*>(&option.flag)) {
        // Bare, the option means no limit; a value must be joined to it
        // (--wait=5), so that "--wait PACKAGE" keeps its operand.
        command->add_flag(name + "{-1}", out->**number, option.help)->option_text(option.valueName);
    } else if (auto count = std::get_if<unsigned CliArguments::*>(&option.flag)) {
        command->add_option(name, out->**count, option.help)
            ->type_name(option.valueName)
            ->check(CLI::PositiveNumber);
    } else if (auto text = std::get_if<std::string CliArguments::*>(&option.flag)) {
        CLI::Option* added = command->add_option(name, out->**text, option.help);
        // A value from a list shows the list (and completion offers it).
        if (*option.choices != '\0')
            added->check(CLI::IsMember(Words(option.choices)));
        else
            added->type_name(option.valueName);
    }
}

CliParse UsageError(const CLI::App& app, const std::string& message) {
    CliParse parse;
    parse.exitCode = kCliUsageError;
    const ParsedSoFar parsed = WhatWasParsed(app);
    if (parsed.json) {
        cli::Json doc = cli::StartDocument(parsed.command);
        cli::SetError(doc, kCliUsageError, message);
        cli::SetOutcome(doc, kCliUsageError);
        parse.out = cli::DocumentText(doc);
    } else {
        parse.err = "brevik: " + message + "\nRun 'brevik --help' for more.\n";
    }
    return parse;
}

// Defaults of this user's, under the options' own names; a file that is
// not there is no error, one given with --config must be. One that is not a
// regular file is refused (*refused says why), unless --config names another.
void AddSettingsFile(CLI::App& app, std::string* settings, std::string* refused) {
    *settings = platform::UserConfigFile("brevik", "Brevik");
    *refused = RefusedSettingsFile(*settings);
    if (!refused->empty())
        settings->clear();
    app.config_formatter(std::make_shared<SettingsFile>());
    app.set_config("--config", *settings,
                   "read default options from FILE (see the notes of 'brevik --help')")
        // Checked as soon as it is parsed, before the parser opens it.
        ->check([](const std::string& file) { return RefusedSettingsFile(file); }, "FILE")
        ->trigger_on_parse();
    // Shown without this user's own path, which the notes say in general.
    app.get_config_ptr()->option_text("FILE");
    // A misspelt setting is said, not passed over.
    app.allow_config_extras(CLI::config_extras_mode::error);
}

// A subcommand for each entry of the command table, its operands bound to
// (*operands)[entry], which must stay where it is while the parser lives.
void AddCommands(CLI::App& app, std::vector<std::vector<std::string>>* operands,
                 CliArguments* out) {
    const std::span<const cli::Command> commands = cli::Commands();
    operands->assign(commands.size(), {});
    for (size_t i = 0; i < commands.size(); ++i) {
        const cli::Command& entry = commands[i];
        CLI::App* command = app.add_subcommand(entry.name, entry.help);
        const std::vector<std::string> names = Words(entry.operands);
        (*operands)[i].resize(names.size());
        // One positional per operand, named as help shows it.
        // "[N]": one that may be left out ("" then).
        for (size_t k = 0; k < names.size(); ++k) {
            const bool optional = names[k].front() == '[';
            const std::string name = optional ? names[k].substr(1, names[k].size() - 2) : names[k];
            CLI::Option* operand =
                command->add_option(name, (*operands)[i][k], cli::OperandHelp(names[k]))
                    ->type_name("");
            if (!optional)
                operand->required();
        }
        for (const cli::CommandFlag& flag : entry.flags)
            AddOption(command, flag, out);
    }
}

// What is wrong with the values or their combination, or "".
std::string ValueProblem(const CliArguments& a) {
    if (a.trace < 0 || a.trace > 2)
        return "--trace takes no value, or =2 for hex dumps, not =" + std::to_string(a.trace);
    if (a.wait < -1)
        return "--wait takes a number of seconds (or none: no limit), not =" +
               std::to_string(a.wait);
    if (a.watch && (a.all || a.dryRun || a.wait != 0))
        return "--watch goes with none of --all, --dry-run and --wait";
    if (!a.watch && (a.reflash || !a.log.empty()))
        return "--log and --reflash go with --watch";
    uint32_t fill = 0;
    if (!a.fill.empty() && (!ParseCliNumber(a.fill, &fill) || fill > 0xFF))
        return "--fill takes a byte (0 to 255, or 0x00 to 0xFF), not '" + a.fill + "'";
    return "";
}

// The options that come before (or after) any command.
void AddGlobalOptions(CLI::App& app, CliArguments* out, std::string* progress) {
    app.footer(std::string(kFooter) + "\n" + ExitCodeHelp());
    app.set_version_flag("--version", std::string("brevik ") + BREVIK_VERSION);
    app.require_subcommand(0, 1);
    app.fallthrough();
    app.add_option("-p,--port", out->port,
                   "only this port: COMn, a device path, usb:SERIAL (a USB serial number), "
                   "usb-path:BUS-PORT.PORT (a USB socket) or id:VID:PID[:SERIAL], as 'brevik "
                   "ports' shows them")
        ->envname("BREVIK_PORT")
        ->type_name("PORT");
    app.add_flag("--trace", out->trace,
                 "show the device link's trace lines on stderr; --trace=2 adds hex dumps of "
                 "every exchange");
    app.add_option("--capture", out->capture, "write the serial session into FILE")
        ->type_name("FILE");
    app.add_flag("--json", out->json, "print one JSON document on stdout");
    app.add_flag("-q,--quiet", out->quiet, "no progress");
    app.add_option("--progress", *progress, "json: progress as JSON lines on stderr")
        ->check(CLI::IsMember({"json"}));
    app.add_option("--signatures", out->signatures,
                   "check: a package's signature must verify (the default); require: and "
                   "every package must be signed; off: not looked at. The administrator's "
                   "setting is never loosened")
        ->envname("BREVIK_SIGNATURES")
        ->check(CLI::IsMember({"off", "check", "require"}));
    app.add_option("--approved", out->approved,
                   "flash only the packages of these checksums (sha256:...); may be given again")
        ->type_name("SHA256")
        ->allow_extra_args(false);
    app.add_option("--blocked", out->blocked,
                   "never flash the packages of these checksums (sha256:...); may be given again")
        ->type_name("SHA256")
        ->allow_extra_args(false);
    app.formatter(std::make_shared<CommandHelp>());
}

}  // namespace

CliParse ParseCliArguments(int argc, const char* const* argv, CliArguments* out) {
    *out = CliArguments{};
    CliParse parse;
    CLI::App app(
        "brevik: the Brevik firmware update utility and device library from the "
        "command line.",
        "brevik");
    std::string progress;
    AddGlobalOptions(app, out, &progress);
    std::string settings, refusedSettings;
    AddSettingsFile(app, &settings, &refusedSettings);

    const std::span<const cli::Command> commands = cli::Commands();
    std::vector<std::vector<std::string>> operands;
    AddCommands(app, &operands, out);

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
    } catch (const CLI::ConfigError& e) {
        const CLI::Option* given = app.get_config_ptr();
        const std::string file =
            given != nullptr && given->count() > 0 ? given->as<std::string>() : settings;
        return UsageError(app, "the settings file " + file + ": " + e.what());
    } catch (const CLI::FileError& e) {
        return UsageError(app, std::string("the settings file: ") + e.what());
    } catch (const CLI::ParseError& e) {
        return UsageError(app, e.what());
    }
    if (!refusedSettings.empty() && app.get_config_ptr()->count() == 0)
        return UsageError(app, refusedSettings);
    if (const std::string problem = ValueProblem(*out); !problem.empty())
        return UsageError(app, problem);
    out->jsonProgress = progress == "json";
    out->approvedGiven = app.get_option("--approved")->count() > 0;
    const flash::TrustFolders trustFolders = flash::DefaultTrustFolders();
    out->systemFolder = trustFolders.system;
    out->userFolder = trustFolders.user;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (app.got_subcommand(commands[i].name)) {
            out->command = commands[i].name;
            out->operands = operands[i];
        }
    }
    if (out->command.empty() && out->json)
        return UsageError(app, "no command given; run 'brevik --help'");
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

namespace {

OptionShape ShapeOf(const CLI::Option& option) {
    OptionShape shape;
    for (const std::string& name : option.get_lnames())
        shape.names.push_back("--" + name);
    for (const std::string& name : option.get_snames())
        shape.names.push_back("-" + name);
    shape.help = option.get_description();
    // A flag that may carry a number shows it as "[=SECONDS]".
    const std::string text = option.get_option_text();
    if (text.rfind("[=", 0) == 0) {
        shape.valueOptional = true;
        shape.value = text.substr(2, text.find(']') - 2);
        return shape;
    }
    if (option.get_type_size_max() == 0)
        return shape;
    // "TEXT:{json}": a value from a list.
    const std::string type = option.get_type_name();
    const size_t open = type.find('{');
    if (open != std::string::npos) {
        std::istringstream list(type.substr(open + 1, type.find('}', open) - open - 1));
        for (std::string choice; std::getline(list, choice, ',');)
            shape.choices.push_back(choice);
    }
    shape.value = open == std::string::npos ? type : type.substr(0, type.find(':'));
    return shape;
}

// The options of a parser level, help and version left out.
std::vector<OptionShape> OptionsOf(const CLI::App& app) {
    std::vector<OptionShape> shapes;
    for (const CLI::Option* o : app.get_options()) {
        if (o->nonpositional() && o != app.get_help_ptr() && o->get_name() != "--version")
            shapes.push_back(ShapeOf(*o));
    }
    return shapes;
}

}  // namespace

CommandLineShape DescribeCommandLine() {
    CliArguments out;
    CLI::App app("brevik", "brevik");
    std::string progress, settings, refused;
    AddGlobalOptions(app, &out, &progress);
    AddSettingsFile(app, &settings, &refused);
    std::vector<std::vector<std::string>> operands;
    AddCommands(app, &operands, &out);
    CommandLineShape shape;
    shape.common = OptionsOf(app);
    for (const cli::Command& entry : cli::Commands()) {
        const CLI::App* command = app.get_subcommand(entry.name);
        shape.commands.push_back(
            {entry.name, entry.help, Words(entry.operands), OptionsOf(*command)});
    }
    return shape;
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
