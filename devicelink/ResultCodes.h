/// @file
/// Result codes of the device link: 0 for success, negative for failure.
#pragma once

#include <cstdint>

/// Success.
constexpr int QX_S_OK = 0;
/// Failed for a reason not listed here.
constexpr int QX_E_GENERAL_ERROR = -1;
/// No port is open: detect a device first.
constexpr int QX_E_PORT_NOT_INITIALIZED = -2;
/// The device or its family does not have the command ('?').
constexpr int QX_E_REQUEST_NOT_SUPPORTED = -3;
/// The port did not take the bytes.
constexpr int QX_E_COMM_WRITE_FAILURE = -4;
/// Reading the port failed.
constexpr int QX_E_COMM_READ_FAILURE = -5;
/// No device answered.
constexpr int QX_E_DEVICE_NOT_FOUND = -6;
/// The device answered something else than the command allows.
constexpr int QX_E_INVALID_RESPONSE = -7;
/// The device does not know the command.
constexpr int QX_E_UNKNOWN_COMMAND = -8;
/// A transfer's sum did not match.
constexpr int QX_E_BAD_CHECKSUM = -9;
/// The 16-bit sum of an 'X' block write did not match.
constexpr int QX_E_ALT_WRITE_BAD_CHECKSUM = -10;
/// Upload: the device found the package's sum wrong.
constexpr int QX_E_EXTERNAL_CS_INVALID = -11;
/// Upload: the device could not buffer a block.
constexpr int QX_E_NVRAM_BUFFERING_FAILED = -12;
/// Upload: the device found its own sum wrong.
constexpr int QX_E_INTERNAL_CS_INVALID = -13;
/// The package fails its checks; nothing was sent.
constexpr int QX_E_INVALID_FIRMWARE_IMAGE = -14;
/// Upload: storing into flash failed (status 'W').
constexpr int QX_E_FIRMWARE_FLASH_FAILED = -15;
/// A background task did not end in time.
constexpr int QX_E_THREAD_TIMEOUT = -16;
/// The device stopped answering.
constexpr int QX_E_COMM_READ_TIMEOUT = -17;
/// An argument is out of range or null.
constexpr int QX_E_INVALID_FUNC_PARAM = -18;
/// Cancelled by the caller.
constexpr int QX_E_OPERATION_CANCELED = -19;
/// Another thread or program holds the port.
constexpr int QX_E_PORT_BUSY = -20;
/// Upload: the device refused the version.
constexpr int QX_E_INVALID_VERSION = -21;
/// Upload: the package is for other hardware.
constexpr int QX_E_INVALID_HARDWARE_ID = -22;
/// The large-bin bank could not be selected.
constexpr int QX_E_LARGE_BIN_BANK_FAILED = -23;

// Platform-style failure of the scrambling helpers (a null buffer or no
// bytes), as opposed to the device link's own codes. A macro of the same
// value on Windows, where the system's headers may come first.
#ifndef E_FAIL
/// Failure of a helper that reports in the platform's style.
constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);
#endif

/// The name of a result code, or "(ERROR NOT IN LIST)".
const char* ResultCodeName(int code);

/// What a result means to a caller that acts on it.
enum class ResultKind {
    Success,
    NoDevice,    ///< none answered, or it stopped answering
    PortBusy,    ///< another thread or program holds the port
    BadPackage,  ///< the package fails its checks
    Cancelled,
    Refused,  ///< the device turned the request down
    Other,    ///< any other failure, and a code not in the list
};
/// What a result code means to a caller (Other for a code not in the list).
ResultKind KindOfResult(int code);
