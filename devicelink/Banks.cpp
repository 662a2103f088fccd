// Banks of the emulation memory. Request: 'B', two kind bytes, Checksum8.
// Set: 'B' then 'R' (read/write), 'S' (static emulation) or 'E' (active
// emulation), then the bank number; the device answers 'O'. Get: 'B' then
// "RR", "ES" or "EE"; the device answers the bank number, or '?'.
#include "devicelink/BKQuillex.h"

namespace {

enum class BankKind { ReadWrite, StaticEmulation, ActiveEmulation };

// Read/write takes precedence; with neither flag the kind is active emulation.
BankKind KindOf(int readWrite, int staticBank) {
    if (readWrite)
        return BankKind::ReadWrite;
    return staticBank ? BankKind::StaticEmulation : BankKind::ActiveEmulation;
}

const char* KindText(BankKind kind) {
    switch (kind) {
        case BankKind::ReadWrite:
            return "R/W";
        case BankKind::StaticEmulation:
            return "Static Emulation";
        case BankKind::ActiveEmulation:
            break;
    }
    return "Active Emulation";
}

constexpr uint8_t kBankCommand = 'B';
constexpr int kMaxReadWriteBank = 7;

}  // namespace

int BKQuillex::SetBank(int bank, int readWrite, int staticBank, int lockFlags) {
    if (!AnyFamily(HardwareFlags, &Family::banks) ||
        FirmwareTooOld(HardwareFlags, &Family::bankLevel, FirmwareVersion)) {
        return QX_E_REQUEST_NOT_SUPPORTED;
    }
    const BankKind kind = KindOf(readWrite, staticBank);
    if (kind == BankKind::ReadWrite && (bank < 0 || bank > kMaxReadWriteBank)) {
        return QX_E_REQUEST_NOT_SUPPORTED;
    }
    const uint8_t kindByte = kind == BankKind::ReadWrite         ? 'R'
                             : kind == BankKind::StaticEmulation ? 'S'
                                                                 : 'E';
    int reply = 0;
    if (BankExchange(kindByte, static_cast<uint8_t>(bank & 0xFF), lockFlags, &reply) != QX_S_OK)
        return QX_E_PORT_BUSY;
    if (reply != kAck) {
        Trace(TraceTarget, "BKQuillex: Set %s Bank Failed!", KindText(kind));
        return QX_E_INVALID_RESPONSE;
    }
    Trace(TraceTarget, "BKQuillex: Set %s Bank Succeeded: Bank %i", KindText(kind), bank);
    StoreBank(kind == BankKind::ReadWrite, static_cast<uint8_t>(bank));
    return QX_S_OK;
}

int BKQuillex::GetBank(int32_t* bank, int readWrite, int staticBank, int lockFlags) {
    if (!(HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    const BankKind kind = KindOf(readWrite, staticBank);
    const uint8_t first = kind == BankKind::ReadWrite ? 'R' : 'E';
    const uint8_t second = kind == BankKind::ReadWrite         ? 'R'
                           : kind == BankKind::StaticEmulation ? 'S'
                                                               : 'E';
    int reply = 0;
    if (BankExchange(first, second, lockFlags, &reply) != QX_S_OK)
        return QX_E_PORT_BUSY;
    if (reply < 0 || reply == kUnknownCommand) {
        Trace(TraceTarget, "BKQuillex: Get %s Bank Failed!", KindText(kind));
        return QX_E_INVALID_RESPONSE;
    }
    Trace(TraceTarget, "BKQuillex: Get %s Bank Succeeded: Bank %i", KindText(kind), reply);
    if (bank != nullptr)
        *bank = reply;
    StoreBank(kind == BankKind::ReadWrite, static_cast<uint8_t>(reply));
    return QX_S_OK;
}

int BKQuillex::BankExchange(uint8_t first, uint8_t second, int lockFlags, int* reply) {
    uint8_t request[4] = {kBankCommand, first, second, 0};
    request[3] = Checksum8(request, 3);
    const bool takeLock = !(lockFlags & kCallerHoldsLock);
    if (takeLock && LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;
    // Neither bank command looks at the write: a lost request shows as a
    // missing reply.
    PurgePort();
    WritePort(request, sizeof request);
    uint8_t byte = 0;
    *reply = ReadPort(&byte, 1) == 1 ? byte : -1;
    if (takeLock)
        UnlockPort();
    return QX_S_OK;
}

void BKQuillex::StoreBank(bool readWrite, uint8_t bank) {
    if (readWrite) {
        ReadWriteBank = bank;
    } else {
        EmulationBank = bank;
    }
}
