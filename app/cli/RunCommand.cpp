#include "app/cli/RunCommand.h"

#include <optional>
#include <string>

#include "app/cli/CliSession.h"
#include "app/cli/CommandTable.h"
#include "platform/PortTable.h"

namespace {

int Dispatch(cli::Session& s) {
    const cli::Command* command = cli::FindCommand(s.args.command);
    if (command == nullptr || command->run == nullptr)
        return s.Fail(kCliUsageError,
                      "unknown command " + s.args.command + "; run 'brevik --help'");
    return command->run(s);
}

}  // namespace

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  ui::ProgressBar* progress) {
    using cli::Session;
    Session s(args, device, out, err, progress);
    if (!args.port.empty()) {
        // Only the named port, under its own number: COM7 stays COM7. A path
        // outside the table becomes a table of its own.
        const std::optional<std::string> path = platform::PortTable::Resolve(args.port.c_str());
        if (!path)
            return s.Finish(
                s.Fail(kCliNoDevice, args.port + " is not a serial port here (see: brevik ports)"));
        s.onlyPort = platform::PortTable::NumberOfPath(*path);
        if (s.onlyPort >= platform::kMaxPortNumber) {
            platform::PortTable::SetOverride({*path});
            s.onlyPort = 1;
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
