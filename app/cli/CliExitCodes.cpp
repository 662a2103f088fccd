#include "app/cli/CliExitCodes.h"

#include "devicelink/ResultCodes.h"

int ExitCodeForResult(int resultCode) {
    switch (resultCode) {
        case QX_S_OK:
            return kCliSucceeded;
        case QX_E_DEVICE_NOT_FOUND:
        case QX_E_PORT_NOT_INITIALIZED:
        case QX_E_COMM_READ_TIMEOUT:
        case QX_E_COMM_READ_FAILURE:
        case QX_E_COMM_WRITE_FAILURE:
            return kCliNoDevice;
        case QX_E_PORT_BUSY:
            return kCliPortBusy;
        case QX_E_INVALID_FIRMWARE_IMAGE:
            return kCliBadPackage;
        case QX_E_OPERATION_CANCELED:
            return kCliCancelled;
        case QX_E_REQUEST_NOT_SUPPORTED:
        case QX_E_INVALID_RESPONSE:
        case QX_E_ALT_WRITE_BAD_CHECKSUM:
        case QX_E_EXTERNAL_CS_INVALID:
        case QX_E_NVRAM_BUFFERING_FAILED:
        case QX_E_INTERNAL_CS_INVALID:
        case QX_E_FIRMWARE_FLASH_FAILED:
        case QX_E_INVALID_VERSION:
        case QX_E_INVALID_HARDWARE_ID:
        case QX_E_LARGE_BIN_BANK_FAILED:
            return kCliDeviceRefused;
        default:
            return kCliFailed;
    }
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
    {kCliFileError, "file-error", "a file could not be read or written"},
    {kCliCancelled, "cancelled",
     "cancelled by Ctrl+C, as update --watch ends (SIGTERM 143, SIGHUP 129)"},
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
