#include "app/cli/RunCommand.h"

#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliSession.h"
#include "app/cli/CommandTable.h"
#include "app/cli/DeviceFinding.h"
#include "app/flash/PortSelection.h"
#include "platform/PortTable.h"

namespace {

// The port a selector names: its path, or the run's failure (none or
// several match, each listed).
std::optional<std::string> SelectedPort(cli::Session& s, int* failure) {
    std::string malformed;
    std::vector<platform::PortEntry> chosen;
    do {
        chosen = flash::PortsSelected(s.args.port, &malformed);
        if (!malformed.empty()) {
            *failure = s.Fail(kCliUsageError, malformed);
            return std::nullopt;
        }
    } while (chosen.empty() && s.AwaitPortChange());
    if (chosen.size() == 1)
        return chosen[0].path;
    if (chosen.empty()) {
        *failure = s.Cancelled()
                       ? s.Fail(kCliCancelled, cli::kCancelledWhileLooking)
                       : s.Fail(kCliNoDevice, "no port answers to " + s.args.port +
                                                  (s.waitRanOut ? " within the wait" : " here") +
                                                  " (see: brevik ports)");
        return std::nullopt;
    }
    std::string listed;
    cli::Json matches = cli::Json::array();
    for (const platform::PortEntry& p : chosen) {
        listed += (listed.empty() ? "" : ", ") + platform::PortTable::ComName(p.number) + " (" +
                  p.path + ")";
        matches.push_back({{"port", platform::PortTable::ComName(p.number)}, {"path", p.path}});
    }
    s.doc["matches"] = matches;
    *failure = s.Fail(kCliUsageError, s.args.port + " answers on several ports: " + listed +
                                          "; name one by a selector of its own or its path");
    return std::nullopt;
}

int Dispatch(cli::Session& s) {
    const cli::Command* command = cli::FindCommand(s.args.command);
    if (command == nullptr || command->run == nullptr)
        return s.Fail(kCliUsageError,
                      "unknown command " + s.args.command + "; run 'brevik --help'");
    return command->run(s);
}

// A table set for one run (a path --port names) is the run's own: the
// caller's table is back when the run ends.
class TableOfTheRun {
  public:
    TableOfTheRun() : before_(platform::PortTable::Override()) {}
    ~TableOfTheRun() {
        if (before_)
            platform::PortTable::SetOverride(*before_);
        else
            platform::PortTable::ClearOverride();
    }
    TableOfTheRun(const TableOfTheRun&) = delete;
    TableOfTheRun& operator=(const TableOfTheRun&) = delete;

  private:
    const std::optional<std::vector<std::string>> before_;
};

}  // namespace

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  ui::ProgressBar* progress) {
    using cli::Session;
    const TableOfTheRun table;
    Session s(args, device, out, err, progress);
    if (args.wait != 0 || args.watch)
        s.WatchPorts();
    // The station picks its ports from each new look at the table.
    if (!args.port.empty() && !args.watch) {
        // Only the named port, under its own number: COM7 stays COM7. A path
        // outside the table becomes a table of its own.
        int failure = kCliSucceeded;
        std::optional<std::string> path;
        if (flash::IsPortSelector(args.port))
            path = SelectedPort(s, &failure);
        else
            while (!(path = platform::PortTable::Resolve(args.port.c_str())) &&
                   s.AwaitPortChange()) {
            }
        if (failure != kCliSucceeded)
            return s.Finish(failure);
        if (!path)
            return s.Finish(
                s.Fail(kCliNoDevice, args.port + " is not a serial port here (see: brevik ports)"));
        s.onlyPort = platform::PortTable::NumberOfPath(*path);
        if (s.onlyPort >= platform::kMaxPortNumber) {
            platform::PortTable::SetOverride({*path});
            s.onlyPort = 1;
            s.namedPath = *path;
        }
    }
    int code;
    try {
        code = s.Finish(Dispatch(s));
    } catch (const std::exception& e) {
        // Nothing above is meant to throw; should something, the run still
        // ends with its line or document and an exit code, not an abort.
        code = s.Finish(s.Fail(kCliFailed, std::string("internal error: ") + e.what()));
    }
    // Out while the hold lasts: a pipe that went away fails these writes
    // instead of ending the program with SIGPIPE at its exit.
    std::fflush(out);
    std::fflush(err);
    // A signal held through an update ends the program as the signal would
    // have, now that the result is out.
    if (s.hold && s.hold->HeldExitCode() != 0)
        return s.hold->HeldExitCode();
    return code;
}
