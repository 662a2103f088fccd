// What a SerialPort drives underneath: a Windows communications handle, a
// terminal device of the system, or a line made in memory (tests, the
// virtual device and fuzzing use those). Each read and write carries the
// port's time-outs; a line whose system keeps them itself also gets them
// when they change.
#pragma once

#include <cstdint>

#include "platform/LineSettings.h"

namespace platform {

class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Reads up to count bytes under the time-outs; false when the line
    // failed or hung up. *got is what came either way.
    virtual bool Read(uint8_t* buffer, uint32_t count, const Timeouts& timeouts, uint32_t* got) = 0;
    // Writes under the time-outs; a write that times out succeeds with fewer
    // bytes written, as on Windows. False when the line failed.
    virtual bool Write(const uint8_t* buffer, uint32_t count, const Timeouts& timeouts,
                       uint32_t* put) = 0;
    // PurgeComm: kPurge* flags.
    virtual bool Purge(unsigned flags) = 0;
    // Called whenever the port's time-outs change, from any thread.
    virtual bool ApplyTimeouts(const Timeouts&) { return true; }
    // SetupComm: the driver's queue sizes, where the system has them.
    virtual bool SetupQueues(uint32_t, uint32_t) { return true; }

    virtual bool GetState(LineState* state) const = 0;
    virtual bool SetState(const LineState& state) = 0;
};

// A line that offers only waiting primitives; the Windows time-out
// semantics are built on them here.
class PolledLine : public SerialLine {
  public:
    static constexpr int kFailed = -1;

    // Waits up to waitMs (negative: without end) for bytes and takes up to
    // count of them. Returns the count taken, 0 when none came in time, or
    // kFailed when the line failed or hung up.
    virtual int Receive(uint8_t* buffer, uint32_t count, int waitMs) = 0;
    // Puts up to count bytes on the line, waiting up to waitMs (negative:
    // without end) for room. Returns the count put (0: no room in time) or
    // kFailed.
    virtual int Send(const uint8_t* buffer, uint32_t count, int waitMs) = 0;
    // Drops what waits to go out and/or what came in and was not taken.
    virtual bool Discard(bool output, bool input) = 0;

    bool Read(uint8_t* buffer, uint32_t count, const Timeouts& timeouts, uint32_t* got) final;
    bool Write(const uint8_t* buffer, uint32_t count, const Timeouts& timeouts,
               uint32_t* put) final;
    bool Purge(unsigned flags) final;
};

}  // namespace platform
