#include "app/UpdaterArguments.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/flash/PortSelection.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"
#include "platform/PortTable.h"

namespace {

// The settings file's top-level 'port' (returned; "" when there is none),
// 'signatures', 'approved' and 'blocked' (into *trust), read by the same
// TOML reader as brevik's settings. Only a regular file is read: a pipe or
// device would be waited on.
std::string ReadSettings(const std::string& file, flash::TrustWishes* trust, std::string* error) {
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(platform::FilePath(file), ec))
        return "";
    std::ifstream in(platform::FilePath(file));
    std::string port;
    try {
        for (const CLI::ConfigItem& item : CLI::ConfigTOML().from_config(in)) {
            if (!item.parents.empty() || item.inputs.empty())
                continue;
            if (item.name == "port")
                port = item.inputs.front();
            else if (item.name == "signatures")
                trust->signatures = item.inputs.front();
            else if (item.name == "approved")
                trust->approved = item.inputs, trust->approvedGiven = true;
            else if (item.name == "blocked")
                trust->blocked = item.inputs;
        }
    } catch (const CLI::ParseError& e) {
        *error = "the settings file " + file + ": " + e.what();
    }
    return port;
}

}  // namespace

UpdaterArguments ParseUpdaterArguments(int argc, char** argv, const std::string& settingsFile) {
    UpdaterArguments parsed;
    CLI::App app("brevik-updater", "brevik-updater");
    app.set_help_flag();  // --help and --version are answered before this
    app.add_option("-p,--port", parsed.port);
    app.add_option("package", parsed.package);
    try {
        std::vector<std::string> arguments(argv + 1, argv + argc);
        std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        parsed.error = e.what();
        return parsed;
    }
    // The command line, then the environment, then the settings file.
    if (parsed.port.empty()) {
        const char* environment = std::getenv("BREVIK_PORT");
        parsed.port = environment != nullptr ? environment : "";
    }
    const std::string settingsPort = ReadSettings(settingsFile, &parsed.trust, &parsed.error);
    if (parsed.port.empty())
        parsed.port = settingsPort;
    if (const char* signatures = std::getenv("BREVIK_SIGNATURES"))
        parsed.trust.signatures = signatures;
    // A malformed wish is said now, as brevik says it.
    std::string wrong;
    flash::WithWishes({}, parsed.trust, &wrong);
    if (parsed.error.empty() && !wrong.empty())
        parsed.error = wrong;
    return parsed;
}

std::string AdoptPortChoice(std::string* port) {
    if (port->empty())
        return "";
    if (flash::IsPortSelector(*port)) {
        std::string malformed;
        flash::PortsSelected(*port, &malformed);
        return malformed;
    }
    // A path in no table becomes a table of its own, as with brevik --port.
    if (platform::PortTable::IsPathName(port->c_str())) {
        const std::optional<std::string> path = platform::PortTable::Resolve(port->c_str());
        if (path && platform::PortTable::NumberOfPath(*path) >= platform::kMaxPortNumber) {
            platform::PortTable::SetOverride({*path});
            *port = platform::PortTable::ComName(1);
        }
    }
    return "";
}
