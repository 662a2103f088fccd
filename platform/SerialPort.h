/// @file
/// A serial port handle with the semantics the device link expects of a
/// Windows communications handle: exclusive open, a line-state record in the
/// shape of a DCB, COMMTIMEOUTS-style read and write time-outs, and purging.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/LineSettings.h"

namespace platform {

/// NoLink: the port is there but the link behind it could not be made (a
/// Bluetooth serial port whose device is out of reach or switched off).
enum class OpenError { None, NotFound, PermissionDenied, Busy, NotATerminal, NoLink, Other };

/// Short human text for an open failure, for trace lines and tool output.
const char* DescribeOpenError(OpenError error);

class SerialLine;
class SerialTap;

/// The port; see the file's description.
class SerialPort {
  public:
    /// Opens an existing serial device (a terminal device on POSIX, a COM
    /// port on Windows) or a line of a registered source (LineSource.h) for
    /// reading and writing,
    /// exclusively: a second open of the same device, from this or another
    /// process, fails with OpenError::Busy. Returns null on failure and sets
    /// *error.
    static std::unique_ptr<SerialPort> Open(const char* path, OpenError* error);
    /// A port over a line made elsewhere (a line in memory: tests and fuzzing
    /// serve a device through one); name is what a capture calls it.
    static std::unique_ptr<SerialPort> OpenOn(std::unique_ptr<SerialLine> line, const char* name);
    /// Ports opened from now on report their traffic to tap (null: none) for as
    /// long as it stays installed; uninstall it before destroying it.
    static void InstallTap(SerialTap* tap);

    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    /// The driver's queue sizes (SetupComm) where the system has them; they
    /// are checked and recorded everywhere.
    bool SetupQueues(uint32_t inQueue, uint32_t outQueue);
    /// The receive queue size last set.
    uint32_t InQueueSize() const { return inQueue_; }
    /// The transmit queue size last set.
    uint32_t OutQueueSize() const { return outQueue_; }

    /// The line settings last set.
    bool GetState(LineState* state) const;
    /// Puts the line in raw 8-bit mode with the given settings. DTR and RTS
    /// are driven where the device has modem lines; a pseudo-terminal has
    /// none and that is not an error.
    bool SetState(const LineState& state);

    /// The time-outs in force.
    bool GetTimeouts(Timeouts* timeouts) const;
    /// Sets the time-outs for the reads and writes that follow.
    bool SetTimeouts(const Timeouts& timeouts);

    /// Drops queued bytes or ends transfers under way (kPurge* flags).
    bool Purge(unsigned flags);

    /// Blocking read of up to count bytes under the current time-outs. Returns
    /// false when the device failed or went away; *received holds what came.
    bool Read(uint8_t* buffer, uint32_t count, uint32_t* received);
    /// Blocking write bounded by the write time-outs. A write that times out
    /// succeeds with fewer bytes written, as on Windows.
    bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written);

  private:
    SerialPort(std::unique_ptr<SerialLine> line, const char* name);

    /// The installed tap, for a port opened while one was (0: none was).
    SerialTap* Tap() const;

    std::unique_ptr<SerialLine> line_;
    unsigned tapPort_ = 0;
    uint32_t inQueue_ = 0;
    uint32_t outQueue_ = 0;
    /// Another thread may change the time-outs while a read is running.
    mutable std::mutex timeoutsMutex_;
    Timeouts timeouts_{};
};

/// True when the system's serial layer can set the rate.
bool IsSupportedBaudRate(uint32_t baud);

}  // namespace platform
