// What a SerialPort drives underneath: a terminal device of the system, or a
// line made in memory (tests and fuzzing serve a device through one). The
// port builds the Windows time-out semantics on these few primitives.
#pragma once

#include <cstdint>

namespace platform {

struct LineState;

class SerialLine {
  public:
    virtual ~SerialLine() = default;

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

    virtual bool GetState(LineState* state) const = 0;
    virtual bool SetState(const LineState& state) = 0;
};

}  // namespace platform
