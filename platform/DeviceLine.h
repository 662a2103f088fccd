// The device's end of a line that the host opens like a serial port: the
// virtual device serves on it. A pseudo-terminal where the system has them,
// or the simulator's loopback line in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class DeviceLine {
  public:
    virtual ~DeviceLine() = default;

    static constexpr int kTimedOut = 0;
    static constexpr int kClosed = -1;
    static constexpr int kInterrupted = -2;

    // The name the host opens (a port-table entry).
    virtual const std::string& HostPath() const = 0;
    // Waits up to timeoutMs (negative: forever) for bytes from the host and
    // reads up to count of them. Returns the count, or one of the values above.
    virtual int Read(uint8_t* buffer, size_t count, int timeoutMs) = 0;
    // Writes all bytes to the host; false when the line is gone.
    virtual bool Write(const uint8_t* buffer, size_t count) = 0;
    // The baud rate the host has set on its side of the line (0: unknown).
    virtual uint32_t HostBaudRate() const = 0;
    // Makes a pending or the next Read return kInterrupted.
    virtual void Interrupt() = 0;
    // Hangs the line up, as when a USB device is pulled: the host's reads
    // and writes fail from now on and the name opens no more.
    virtual void HangUp() = 0;
    virtual bool IsHungUp() const = 0;
};

}  // namespace platform
