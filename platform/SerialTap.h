/// @file
/// An observer of serial traffic: session capture writes every byte in both
/// directions, the settings and the time-outs of every port the process opens
/// while a tap is installed. Calls come from whichever thread uses the port.
#pragma once

#include <cstdint>

namespace platform {

struct LineState;
struct Timeouts;

/// The observer; see the file's description.
class SerialTap {
  public:
    virtual ~SerialTap() = default;
    /// port numbers the opened ports of this process from 1 on.
    virtual void Opened(unsigned port, const char* name) = 0;
    /// The port was closed.
    virtual void Closed(unsigned port) = 0;
    /// The line settings were set.
    virtual void StateSet(unsigned port, const LineState& state) = 0;
    /// The time-outs were set.
    virtual void TimeoutsSet(unsigned port, const Timeouts& timeouts) = 0;
    /// The port was purged (kPurge* flags).
    virtual void Purged(unsigned port, unsigned flags) = 0;
    /// What went out, also the part of a write that timed out.
    virtual void Wrote(unsigned port, const uint8_t* bytes, uint32_t count) = 0;
    /// What one read returned of the count asked for (fewer: it timed out).
    virtual void ReadDone(unsigned port, const uint8_t* bytes, uint32_t count,
                          uint32_t requested) = 0;
};

}  // namespace platform
