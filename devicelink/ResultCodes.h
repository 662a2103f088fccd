// Result codes of the device link: 0 for success, negative for failure.
#pragma once

#include <cstdint>

constexpr int QX_S_OK = 0;
constexpr int QX_E_GENERAL_ERROR = -1;
constexpr int QX_E_PORT_NOT_INITIALIZED = -2;
constexpr int QX_E_REQUEST_NOT_SUPPORTED = -3;
constexpr int QX_E_COMM_WRITE_FAILURE = -4;
constexpr int QX_E_COMM_READ_FAILURE = -5;
constexpr int QX_E_DEVICE_NOT_FOUND = -6;
constexpr int QX_E_INVALID_RESPONSE = -7;
constexpr int QX_E_UNKNOWN_COMMAND = -8;
constexpr int QX_E_BAD_CHECKSUM = -9;
constexpr int QX_E_ALT_WRITE_BAD_CHECKSUM = -10;
constexpr int QX_E_EXTERNAL_CS_INVALID = -11;
constexpr int QX_E_NVRAM_BUFFERING_FAILED = -12;
constexpr int QX_E_INTERNAL_CS_INVALID = -13;
constexpr int QX_E_INVALID_FIRMWARE_IMAGE = -14;
constexpr int QX_E_FIRMWARE_FLASH_FAILED = -15;
constexpr int QX_E_THREAD_TIMEOUT = -16;
constexpr int QX_E_COMM_READ_TIMEOUT = -17;
constexpr int QX_E_INVALID_FUNC_PARAM = -18;
constexpr int QX_E_OPERATION_CANCELED = -19;
constexpr int QX_E_PORT_BUSY = -20;
constexpr int QX_E_INVALID_VERSION = -21;
constexpr int QX_E_INVALID_HARDWARE_ID = -22;
constexpr int QX_E_LARGE_BIN_BANK_FAILED = -23;

// Platform-style failure of the scrambling helpers (a null buffer or no
// bytes), as opposed to the device link's own codes. A macro of the same
// value on Windows, where the system's headers may come first.
#ifndef E_FAIL
constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);
#endif

// The name of a result code, or "(ERROR NOT IN LIST)".
const char* ResultCodeName(int code);
