/// @file
/// A stand-alone serial port for applications built on the library: open a
/// port by name at a baud rate, change the rate, set queue sizes and
/// time-outs, purge, read and write. Every step writes its trace line and
/// every transfer a hex dump; it knows nothing of the device protocol.
/// One thread at a time: the class has no lock of its own.
#pragma once

#include <cstdint>
#include <memory>

#include "diagnostics/Trace.h"
#include "platform/SerialPort.h"

/// The port; see the file's description.
class BKSerial {
  public:
    BKSerial() = default;
    ~BKSerial();
    BKSerial(const BKSerial&) = delete;
    BKSerial& operator=(const BKSerial&) = delete;

    /// Opens "COMn" (n-th entry of the port table) or a device path at the
    /// given rate: 8 data bits, no parity, no hardware flow control, DTR and
    /// RTS raised; stop bits and XON/XOFF stay as the port had them. Closes a
    /// port already open first. 1 on success; 0 leaves the object closed.
    int Open(const char* name, int baud);
    /// Closes the port if one is open; always traces "Port Closed".
    void Close();
    /// Moves the open port to another rate; 1 on success.
    int SetBaud(int baud);
    /// Recommended driver queue sizes; without a port, nothing.
    void SetQueueSizes(uint32_t inQueue, uint32_t outQueue);
    /// The five COMMTIMEOUTS values in milliseconds; without a port, nothing.
    void SetTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                     uint32_t writeMultiplier, uint32_t writeConstant);
    /// Changes only the read total constant.
    int SetReadTimeout(int milliseconds);
    /// Drops the bytes queued either way; 1 on success.
    int Purge(bool clearTransmit, bool clearReceive);
    /// One blocking read or write under the time-outs; the byte count moved.
    int Read(uint8_t* buffer, int count);
    /// See Read.
    int Write(const uint8_t* bytes, int count);

    /// A port is open.
    bool IsOpen() const { return PortHandle != nullptr; }
    /// Why the last Open could not open its port (no trace line says it).
    platform::OpenError LastOpenError() const { return lastOpenError_; }
    /// Where the trace lines go (null: nowhere).
    void SetTraceTarget(TraceSink* target) { TraceTarget = target; }

    /// The open port, or null.
    std::unique_ptr<platform::SerialPort> PortHandle;
    /// Not owned; the owner sets it (null: no trace lines).
    TraceSink* TraceTarget = nullptr;

  private:
    platform::OpenError lastOpenError_ = platform::OpenError::None;
};
