#include "devicelink/ResultCodes.h"

namespace {

struct ResultCodeEntry {
    int code;
    const char* name;
    ResultKind kind;
};

// Every code once, keyed by its value: a new code is its constant and a row.
#define BREVIK_RESULT(code, kind) \
    { code, #code, ResultKind::kind }
constexpr ResultCodeEntry kResultCodes[] = {
    BREVIK_RESULT(QX_S_OK, Success),
    BREVIK_RESULT(QX_E_GENERAL_ERROR, Other),
    BREVIK_RESULT(QX_E_PORT_NOT_INITIALIZED, NoDevice),
    BREVIK_RESULT(QX_E_REQUEST_NOT_SUPPORTED, Refused),
    BREVIK_RESULT(QX_E_COMM_WRITE_FAILURE, NoDevice),
    BREVIK_RESULT(QX_E_COMM_READ_FAILURE, NoDevice),
    BREVIK_RESULT(QX_E_DEVICE_NOT_FOUND, NoDevice),
    BREVIK_RESULT(QX_E_INVALID_RESPONSE, Refused),
    BREVIK_RESULT(QX_E_UNKNOWN_COMMAND, Other),
    BREVIK_RESULT(QX_E_BAD_CHECKSUM, Other),
    BREVIK_RESULT(QX_E_ALT_WRITE_BAD_CHECKSUM, Refused),
    BREVIK_RESULT(QX_E_EXTERNAL_CS_INVALID, Refused),
    BREVIK_RESULT(QX_E_NVRAM_BUFFERING_FAILED, Refused),
    BREVIK_RESULT(QX_E_INTERNAL_CS_INVALID, Refused),
    BREVIK_RESULT(QX_E_INVALID_FIRMWARE_IMAGE, BadPackage),
    BREVIK_RESULT(QX_E_FIRMWARE_FLASH_FAILED, Refused),
    BREVIK_RESULT(QX_E_THREAD_TIMEOUT, Other),
    BREVIK_RESULT(QX_E_COMM_READ_TIMEOUT, NoDevice),
    BREVIK_RESULT(QX_E_INVALID_FUNC_PARAM, Other),
    BREVIK_RESULT(QX_E_OPERATION_CANCELED, Cancelled),
    BREVIK_RESULT(QX_E_PORT_BUSY, PortBusy),
    BREVIK_RESULT(QX_E_INVALID_VERSION, Refused),
    BREVIK_RESULT(QX_E_INVALID_HARDWARE_ID, Refused),
    BREVIK_RESULT(QX_E_LARGE_BIN_BANK_FAILED, Refused),
};
#undef BREVIK_RESULT

const ResultCodeEntry* EntryOf(int code) {
    for (const ResultCodeEntry& entry : kResultCodes)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

}  // namespace

const char* ResultCodeName(int code) {
    const ResultCodeEntry* entry = EntryOf(code);
    return entry != nullptr ? entry->name : "(ERROR NOT IN LIST)";
}

ResultKind KindOfResult(int code) {
    const ResultCodeEntry* entry = EntryOf(code);
    return entry != nullptr ? entry->kind : ResultKind::Other;
}
