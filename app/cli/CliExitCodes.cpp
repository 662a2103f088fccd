#include "app/cli/CliExitCodes.h"

#include "devicelink/ResultCodes.h"

int ExitCodeForResult(int resultCode) {
    switch (KindOfResult(resultCode)) {
        case ResultKind::Success:
            return kCliSucceeded;
        case ResultKind::NoDevice:
            return kCliNoDevice;
        case ResultKind::PortBusy:
            return kCliPortBusy;
        case ResultKind::BadPackage:
            return kCliBadPackage;
        case ResultKind::Cancelled:
            return kCliCancelled;
        case ResultKind::Refused:
            return kCliDeviceRefused;
        case ResultKind::Other:
            break;
    }
    return kCliFailed;
}

namespace {

// A meaning fits a line of --help after the code's column.
constexpr ExitCodeMeaning kExitCodes[] = {
    {kCliSucceeded, "ok", "done"},
    {kCliFailed, "failed", "failed otherwise: verify differs, version refused or read back wrong"},
    {kCliUsageError, "usage", "wrong command line, or a memory range outside the device"},
    {kCliNoDevice, "no-device", "no device found, or the device stopped answering"},
    {kCliPermissionDenied, "permission-denied", "permission denied on the port"},
    {kCliPortBusy, "port-busy", "the port is held by another program"},
    {kCliBadPackage, "bad-package", "the package fails its checks or does not fit the device"},
    {kCliDeviceRefused, "device-refused", "the device turned the request down"},
    {kCliFileError, "file-error", "a file could not be read, parsed or written"},
    {kCliCancelled, "cancelled",
     "cancelled by Ctrl+C, as the --watch loops end (SIGTERM 143, SIGHUP 129)"},
};

}  // namespace

std::span<const ExitCodeMeaning> ExitCodeTable() {
    return kExitCodes;
}

const char* ExitCodeKey(int exitCode) {
    for (const ExitCodeMeaning& row : kExitCodes) {
        if (row.code == exitCode)
            return row.key;
    }
    return "failed";
}

std::string ExitCodeHelp() {
    std::string text = "Exit codes:\n";
    for (const ExitCodeMeaning& row : kExitCodes) {
        std::string code = std::to_string(row.code);
        code.resize(5, ' ');
        text += "  " + code + row.meaning + "\n";
    }
    return text;
}
