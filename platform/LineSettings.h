/// @file
/// The settings of a serial line in the shape Windows gives them: a DCB's
/// line state, COMMTIMEOUTS and the PurgeComm flags.
#pragma once

#include <cstdint>

namespace platform {

/// DTR/RTS control as a DCB carries it.
enum class LineControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2 };

constexpr uint8_t kNoParity = 0;     ///< LineState::Parity: none
constexpr uint8_t kOneStopBit = 0;   ///< LineState::StopBits: one
constexpr uint8_t kTwoStopBits = 2;  ///< LineState::StopBits: two

/// The subset of a DCB that this layer can honour on a POSIX terminal.
struct LineState {
    uint32_t BaudRate = 0;                         ///< bits per second
    uint8_t ByteSize = 8;                          ///< data bits
    uint8_t Parity = kNoParity;                    ///< kNoParity (the only one the devices use)
    uint8_t StopBits = kOneStopBit;                ///< kOneStopBit or kTwoStopBits
    bool OutxCtsFlow = false;                      ///< output waits for CTS
    bool OutxDsrFlow = false;                      ///< output waits for DSR
    bool DsrSensitivity = false;                   ///< input only while DSR is set
    bool OutX = false;                             ///< XON/XOFF on output
    bool InX = false;                              ///< XON/XOFF on input
    LineControl DtrControl = LineControl::Enable;  ///< the DTR line
    LineControl RtsControl = LineControl::Enable;  ///< the RTS line
};

/// All values in milliseconds, with the meaning of COMMTIMEOUTS.
struct Timeouts {
    uint32_t ReadIntervalTimeout = 0;          ///< longest gap between two bytes of a read
    uint32_t ReadTotalTimeoutMultiplier = 0;   ///< a read's limit per byte asked for
    uint32_t ReadTotalTimeoutConstant = 0;     ///< added to a read's limit
    uint32_t WriteTotalTimeoutMultiplier = 0;  ///< a write's limit per byte
    uint32_t WriteTotalTimeoutConstant = 0;    ///< added to a write's limit
};

constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;  ///< MAXDWORD

/// Purge flags, valued as PurgeComm takes them: ends writes under way.
constexpr unsigned kPurgeTxAbort = 0x01;
constexpr unsigned kPurgeRxAbort = 0x02;  ///< ends reads under way
constexpr unsigned kPurgeTxClear = 0x04;  ///< drops bytes not yet sent
constexpr unsigned kPurgeRxClear = 0x08;  ///< drops bytes received and not read

}  // namespace platform
