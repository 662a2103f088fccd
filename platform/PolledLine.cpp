// The Windows read and write time-out rules over a line that can only wait
// for bytes or for room; no system calls of its own.
#include <algorithm>
#include <chrono>

#include "platform/Deadline.h"
#include "platform/SerialLine.h"

namespace platform {

bool PolledLine::Read(uint8_t* buffer, uint32_t count, const Timeouts& t, uint32_t* received) {
    uint32_t got = 0;
    const bool immediate = t.ReadIntervalTimeout == kMaxTimeout &&
                           t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool returnOnFirstByte =
        t.ReadIntervalTimeout == kMaxTimeout && t.ReadTotalTimeoutMultiplier == kMaxTimeout &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxTimeout;
    const bool useInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxTimeout;
    const uint64_t totalMs = returnOnFirstByte ? t.ReadTotalTimeoutConstant
                                               : uint64_t{t.ReadTotalTimeoutMultiplier} * count +
                                                     t.ReadTotalTimeoutConstant;
    const bool useTotal = totalMs != 0 && !immediate;
    const Clock::time_point start = Clock::now();
    const Clock::time_point totalDeadline = start + std::chrono::milliseconds(totalMs);
    Clock::time_point lastByte = start;

    bool ok = true;
    while (got < count) {
        if (got > 0 && returnOnFirstByte)
            break;
        int waitMs = -1;
        if (immediate) {
            waitMs = 0;
        } else {
            if (useTotal)
                waitMs = MillisecondsUntil(totalDeadline);
            if (useInterval && got > 0) {
                int gap =
                    MillisecondsUntil(lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout));
                waitMs = waitMs < 0 ? gap : std::min(waitMs, gap);
            }
        }
        const int n = Receive(buffer + got, count - got, waitMs);
        if (n < 0) {
            ok = false;  // the device failed or went away
            break;
        }
        if (n == 0)
            break;  // time-out
        got += static_cast<uint32_t>(n);
        lastByte = Clock::now();
        if (waitMs == 0 && !immediate)
            break;  // a deadline passed: take what came, stop
    }
    *received = got;
    return ok;
}

bool PolledLine::Write(const uint8_t* buffer, uint32_t count, const Timeouts& t,
                       uint32_t* written) {
    uint32_t put = 0;
    const uint64_t totalMs =
        uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);

    bool ok = true;
    while (put < count) {
        const int n =
            Send(buffer + put, count - put, totalMs == 0 ? -1 : MillisecondsUntil(deadline));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;  // time-out: report what went out
        put += static_cast<uint32_t>(n);
    }
    *written = put;
    return ok;
}

bool PolledLine::Purge(unsigned flags) {
    const bool tx = (flags & kPurgeTxClear) != 0;
    const bool rx = (flags & kPurgeRxClear) != 0;
    // Nothing is ever pending between calls here: an abort alone is done.
    if (!tx && !rx)
        return (flags & (kPurgeTxAbort | kPurgeRxAbort)) != 0;
    return Discard(tx, rx);
}

}  // namespace platform
