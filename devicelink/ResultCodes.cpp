#include "devicelink/ResultCodes.h"

namespace {

// Indexed by the negated code.
constexpr const char* kNames[] = {
    "QX_S_OK",
    "QX_E_GENERAL_ERROR",
    "QX_E_PORT_NOT_INITIALIZED",
    "QX_E_REQUEST_NOT_SUPPORTED",
    "QX_E_COMM_WRITE_FAILURE",
    "QX_E_COMM_READ_FAILURE",
    "QX_E_DEVICE_NOT_FOUND",
    "QX_E_INVALID_RESPONSE",
    "QX_E_UNKNOWN_COMMAND",
    "QX_E_BAD_CHECKSUM",
    "QX_E_ALT_WRITE_BAD_CHECKSUM",
    "QX_E_EXTERNAL_CS_INVALID",
    "QX_E_NVRAM_BUFFERING_FAILED",
    "QX_E_INTERNAL_CS_INVALID",
    "QX_E_INVALID_FIRMWARE_IMAGE",
    "QX_E_FIRMWARE_FLASH_FAILED",
    "QX_E_THREAD_TIMEOUT",
    "QX_E_COMM_READ_TIMEOUT",
    "QX_E_INVALID_FUNC_PARAM",
    "QX_E_OPERATION_CANCELED",
    "QX_E_PORT_BUSY",
    "QX_E_INVALID_VERSION",
    "QX_E_INVALID_HARDWARE_ID",
    "QX_E_LARGE_BIN_BANK_FAILED",
};

}  // namespace

const char* ResultCodeName(int code) {
    constexpr int kCount = static_cast<int>(sizeof kNames / sizeof kNames[0]);
    if (code > 0 || code <= -kCount)
        return "(ERROR NOT IN LIST)";
    return kNames[-code];
}
