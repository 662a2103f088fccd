// The port over its line: checks the caller's arguments, keeps the
// time-outs and reports the traffic to the installed tap.
#include "platform/SerialPort.h"

#include <atomic>

#include "platform/LineSource.h"
#include "platform/SerialLine.h"
#include "platform/SerialTap.h"
#include "platform/SystemLine.h"

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
    LineSource* source = LineSourceFor(path);
    std::unique_ptr<SerialLine> line =
        source != nullptr ? source->Open(path, error) : OpenSystemLine(path, error);
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
    if (inQueue == 0 || outQueue == 0 || !line_->SetupQueues(inQueue, outQueue))
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
        if (!line_->ApplyTimeouts(timeouts))
            return false;
        timeouts_ = timeouts;
    }
    if (SerialTap* tap = Tap())
        tap->TimeoutsSet(tapPort_, timeouts);
    return true;
}

bool SerialPort::Purge(unsigned flags) {
    if (SerialTap* tap = Tap())
        tap->Purged(tapPort_, flags);
    return line_->Purge(flags);
}

bool SerialPort::Read(uint8_t* buffer, uint32_t count, uint32_t* received) {
    uint32_t got = 0;
    if (received != nullptr)
        *received = 0;
    if (buffer == nullptr && count > 0)
        return false;
    Timeouts t;
    GetTimeouts(&t);
    const bool ok = line_->Read(buffer, count, t, &got);
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
    const bool ok = line_->Write(buffer, count, t, &put);
    if (written != nullptr)
        *written = put;
    if (SerialTap* tap = Tap(); tap != nullptr && put > 0)
        tap->Wrote(tapPort_, buffer, put);
    return ok;
}

}  // namespace platform
