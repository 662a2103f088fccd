// The device side of a pseudo-terminal: the simulator serves a virtual
// device on the master while the host opens the slave path like a serial
// port. The line speed the host sets on the slave is visible here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/DeviceLine.h"

namespace platform {

class PseudoTerminal : public DeviceLine {
  public:
    // Opens a master and keeps one descriptor of the slave open in raw mode,
    // so the master does not see a hang-up each time the host closes the port.
    static std::unique_ptr<PseudoTerminal> Create();
    // The same on a master another program made (a device mocking tool's
    // node), which the host opens as hostPath; the descriptor is duplicated.
    static std::unique_ptr<PseudoTerminal> Adopt(int master, const std::string& hostPath);
    ~PseudoTerminal() override;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    const std::string& HostPath() const override { return slavePath_; }

    int Read(uint8_t* buffer, size_t count, int timeoutMs) override;
    bool Write(const uint8_t* buffer, size_t count) override;
    uint32_t HostBaudRate() const override;
    void Interrupt() override;
    void HangUp() override;
    bool IsHungUp() const override { return master_ < 0; }

  private:
    PseudoTerminal() = default;

    int master_ = -1;
    int slaveKeeper_ = -1;
    int wakeFd_ = -1;
    std::string slavePath_;
};

}  // namespace platform
