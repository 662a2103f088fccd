// The device side of a pseudo-terminal: the simulator serves a virtual
// device on the master while the host opens the slave path like a serial
// port. The line speed the host sets on the slave is visible here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class PseudoTerminal {
  public:
    // Opens a master and keeps one descriptor of the slave open in raw mode,
    // so the master does not see a hang-up each time the host closes the port.
    static std::unique_ptr<PseudoTerminal> Create();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    static constexpr int kTimedOut = 0;
    static constexpr int kClosed = -1;
    static constexpr int kInterrupted = -2;

    // Waits up to timeoutMs (negative: forever) for bytes from the host and
    // reads up to count of them. Returns the count, or one of the values above.
    int Read(uint8_t* buffer, size_t count, int timeoutMs);
    // Writes all bytes to the host; false when the terminal is gone.
    bool Write(const uint8_t* buffer, size_t count);

    // The baud rate the host has set on its side of the line (0: unknown).
    uint32_t HostBaudRate() const;

    // Makes a pending or the next Read return kInterrupted.
    void Interrupt();
    // Hangs the line up, as when a USB device is pulled: the host's reads
    // and writes fail from now on.
    void HangUp();
    bool IsHungUp() const { return master_ < 0; }

  private:
    PseudoTerminal() = default;

    int master_ = -1;
    int slaveKeeper_ = -1;
    int wakeFd_ = -1;
    std::string slavePath_;
};

}  // namespace platform
