// The settings of a serial line in the shape Windows gives them: a DCB's
// line state, COMMTIMEOUTS and the PurgeComm flags.
#pragma once

#include <cstdint>

namespace platform {

// DTR/RTS control as a DCB carries it.
enum class LineControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2 };

constexpr uint8_t kNoParity = 0;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kTwoStopBits = 2;

// The subset of a DCB that this layer can honour on a POSIX terminal.
struct LineState {
    uint32_t BaudRate = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = kNoParity;
    uint8_t StopBits = kOneStopBit;
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    bool DsrSensitivity = false;
    bool OutX = false;  // XON/XOFF on output
    bool InX = false;   // XON/XOFF on input
    LineControl DtrControl = LineControl::Enable;
    LineControl RtsControl = LineControl::Enable;
};

// All values in milliseconds, with the meaning of COMMTIMEOUTS.
struct Timeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;  // MAXDWORD

// Purge flags, valued as PurgeComm takes them.
constexpr unsigned kPurgeTxAbort = 0x01;
constexpr unsigned kPurgeRxAbort = 0x02;
constexpr unsigned kPurgeTxClear = 0x04;
constexpr unsigned kPurgeRxClear = 0x08;

}  // namespace platform
