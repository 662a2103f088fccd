// The Windows time-out semantics of a communications handle, built on the
// few primitives of a serial line; no system calls of its own.
#include "platform/SerialPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/Deadline.h"
#include "platform/SerialLine.h"
#include "platform/SerialTap.h"
#include "platform/TerminalLine.h"

namespace platform {
namespace {

std::atomic<SerialTap*> g_tap{nullptr};
std::atomic<unsigned> g_portsOpened{0};

}  // namespace

std::unique_ptr<SerialPort> SerialPort::Open(const char* path, OpenError* error) {
    OpenError ignored;
    if (error == nullptr)
        error = &ignored;
    *error = OpenError::None;
    if (path == nullptr || path[0] == '\0') {
        *error = OpenError::NotFound;
        return nullptr;
    }
    std::unique_ptr<SerialLine> line = OpenTerminalLine(path, error);
    if (!line)
        return nullptr;
    return std::unique_ptr<SerialPort>(new SerialPort(std::move(line), path));
}

std::unique_ptr<SerialPort> SerialPort::OpenOn(std::unique_ptr<SerialLine> line, const char* name) {
    if (!line)
        return nullptr;
    return std::unique_ptr<SerialPort>(new SerialPort(std::move(line), name));
}

void SerialPort::InstallTap(SerialTap* tap) {
    g_tap = tap;
}

SerialPort::SerialPort(std::unique_ptr<SerialLine> line, const char* name)
    : line_(std::move(line)) {
    if (SerialTap* tap = g_tap.load()) {
        tapPort_ = ++g_portsOpened;
        tap->Opened(tapPort_, name != nullptr ? name : "");
    }
}

SerialTap* SerialPort::Tap() const {
    // The tap installed now: a port may outlive a capture that saw it open.
    return tapPort_ != 0 ? g_tap.load() : nullptr;
}

SerialPort::~SerialPort() {
    line_.reset();
    if (SerialTap* tap = Tap())
        tap->Closed(tapPort_);
}

bool SerialPort::SetupQueues(uint32_t inQueue, uint32_t outQueue) {
    if (inQueue == 0 || outQueue == 0)
        return false;
    inQueue_ = inQueue;
    outQueue_ = outQueue;
    return true;
}

bool SerialPort::GetState(LineState* state) const {
    return state != nullptr && line_->GetState(state);
}

bool SerialPort::SetState(const LineState& state) {
    if (!IsSupportedBaudRate(state.BaudRate))
        return false;
    if (state.ByteSize < 5 || state.ByteSize > 8 || state.Parity > 2)
        return false;
    if (state.StopBits != kOneStopBit && state.StopBits != kTwoStopBits)
        return false;
    if (!line_->SetState(state))
        return false;
    if (SerialTap* tap = Tap())
        tap->StateSet(tapPort_, state);
    return true;
}

bool SerialPort::GetTimeouts(Timeouts* timeouts) const {
    if (timeouts == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    *timeouts = timeouts_;
    return true;
}

bool SerialPort::SetTimeouts(const Timeouts& timeouts) {
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        timeouts_ = timeouts;
    }
    if (SerialTap* tap = Tap())
        tap->TimeoutsSet(tapPort_, timeouts);
    return true;
}

bool SerialPort::Purge(unsigned flags) {
    const bool tx = (flags & kPurgeTxClear) != 0;
    const bool rx = (flags & kPurgeRxClear) != 0;
    if (SerialTap* tap = Tap())
        tap->Purged(tapPort_, flags);
    if (!tx && !rx)
        return (flags & (kPurgeTxAbort | kPurgeRxAbort)) != 0;
    return line_->Discard(tx, rx);
}

bool SerialPort::Read(uint8_t* buffer, uint32_t count, uint32_t* received) {
    uint32_t got = 0;
    if (received != nullptr)
        *received = 0;
    if (buffer == nullptr && count > 0)
        return false;

    Timeouts t;
    GetTimeouts(&t);
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
        const int n = line_->Receive(buffer + got, count - got, waitMs);
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
    if (received != nullptr)
        *received = got;
    if (SerialTap* tap = Tap())
        tap->ReadDone(tapPort_, buffer, got, count);
    return ok;
}

bool SerialPort::Write(const uint8_t* buffer, uint32_t count, uint32_t* written) {
    uint32_t put = 0;
    if (written != nullptr)
        *written = 0;
    if (buffer == nullptr && count > 0)
        return false;

    Timeouts t;
    GetTimeouts(&t);
    const uint64_t totalMs =
        uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);

    bool ok = true;
    while (put < count) {
        const int n =
            line_->Send(buffer + put, count - put, totalMs == 0 ? -1 : MillisecondsUntil(deadline));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;  // time-out: report what went out
        put += static_cast<uint32_t>(n);
    }
    if (written != nullptr)
        *written = put;
    if (SerialTap* tap = Tap(); tap != nullptr && put > 0)
        tap->Wrote(tapPort_, buffer, put);
    return ok;
}

}  // namespace platform
