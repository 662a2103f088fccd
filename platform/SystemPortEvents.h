// The system's own news of serial ports coming and going (internal to
// platform/, behind PortWatch).
#pragma once

#include <memory>

namespace platform {

class SystemPortEvents {
  public:
    virtual ~SystemPortEvents() = default;
    // Waits up to timeoutMs (>= 0) for news; true when a port came or went
    // since the last call (or the source cannot tell and it may have).
    virtual bool Changed(int timeoutMs) = 0;
};

// Listening from now on.
std::unique_ptr<SystemPortEvents> OpenSystemPortEvents();

}  // namespace platform
