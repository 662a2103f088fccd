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

const char* ExitCodeKey(int exitCode) {
    switch (exitCode) {
        case kCliSucceeded:
            return "ok";
        case kCliUsageError:
            return "usage";
        case kCliNoDevice:
            return "no-device";
        case kCliPermissionDenied:
            return "permission-denied";
        case kCliPortBusy:
            return "port-busy";
        case kCliBadPackage:
            return "bad-package";
        case kCliDeviceRefused:
            return "device-refused";
        case kCliFileError:
            return "file-error";
        case kCliCancelled:
            return "cancelled";
        default:
            return "failed";
    }
}

const char* ExitCodeHelp() {
    return "Exit codes:\n"
           "  0    done\n"
           "  1    failed otherwise (verify found differences, version read back differs)\n"
           "  2    wrong command line\n"
           "  3    no device found, or the device stopped answering\n"
           "  4    permission denied on the port\n"
           "  5    the port is held by another program\n"
           "  6    the package fails its checks or does not fit the device\n"
           "  7    the device turned the request down\n"
           "  8    a file could not be read or written\n"
           "  130  cancelled with Ctrl+C\n";
}
