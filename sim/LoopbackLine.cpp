#include "sim/LoopbackLine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/LineSource.h"

namespace sim {
namespace {

using platform::DeviceLine;
using platform::LineState;
using platform::OpenError;
using platform::PolledLine;
using platform::SerialLine;
using platform::Timeouts;

// Bytes the host may have on the way to the device before a write waits,
// about what a pseudo-terminal holds.
constexpr size_t kToDeviceCapacity = 4096;

struct Wire {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<uint8_t> toDevice;
    std::deque<uint8_t> toHost;
    LineState hostState{.BaudRate = 115200};
    bool hostOpen = false;
    bool hungUp = false;
    bool interrupted = false;
    // What opening the host end takes: the time to make the link, and
    // whether it can be made at all.
    int connectMs = 0;
    bool absent = false;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<Wire>> lines;
    unsigned created = 0;
};

Registry& Lines() {
    static Registry registry;
    return registry;
}

// Waits on the wire's condition until ready() or waitMs passes (negative:
// forever). Returns ready().
template <typename Ready>
bool WaitUntil(Wire& w, std::unique_lock<std::mutex>& lock, int waitMs, Ready ready) {
    if (waitMs < 0) {
        w.changed.wait(lock, ready);
        return true;
    }
    return w.changed.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
}

size_t Take(std::deque<uint8_t>& queue, uint8_t* buffer, size_t count) {
    const size_t n = std::min(count, queue.size());
    std::copy_n(queue.begin(), n, buffer);
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

class HostEnd : public PolledLine {
  public:
    explicit HostEnd(std::shared_ptr<Wire> wire) : wire_(std::move(wire)) {}
    ~HostEnd() override {
        std::lock_guard<std::mutex> lock(wire_->mutex);
        wire_->hostOpen = false;
    }

    int Receive(uint8_t* buffer, uint32_t count, int waitMs) override {
        Wire& w = *wire_;
        std::unique_lock<std::mutex> lock(w.mutex);
        WaitUntil(w, lock, waitMs, [&] { return w.hungUp || !w.toHost.empty(); });
        if (w.hungUp)
            return kFailed;
        return static_cast<int>(Take(w.toHost, buffer, count));
    }

    int Send(const uint8_t* buffer, uint32_t count, int waitMs) override {
        Wire& w = *wire_;
        std::unique_lock<std::mutex> lock(w.mutex);
        WaitUntil(w, lock, waitMs,
                  [&] { return w.hungUp || w.toDevice.size() < kToDeviceCapacity; });
        if (w.hungUp)
            return kFailed;
        const size_t n = std::min<size_t>(count, kToDeviceCapacity - w.toDevice.size());
        w.toDevice.insert(w.toDevice.end(), buffer, buffer + n);
        lock.unlock();
        w.changed.notify_all();
        return static_cast<int>(n);
    }

    bool Discard(bool output, bool input) override {
        std::lock_guard<std::mutex> lock(wire_->mutex);
        if (output)
            wire_->toDevice.clear();
        if (input)
            wire_->toHost.clear();
        return !wire_->hungUp;
    }

    bool GetState(LineState* state) const override {
        std::lock_guard<std::mutex> lock(wire_->mutex);
        *state = wire_->hostState;
        return !wire_->hungUp;
    }

    bool SetState(const LineState& state) override {
        std::lock_guard<std::mutex> lock(wire_->mutex);
        wire_->hostState = state;
        return !wire_->hungUp;
    }

  private:
    std::shared_ptr<Wire> wire_;
};

class DeviceEnd : public DeviceLine {
  public:
    DeviceEnd(std::shared_ptr<Wire> wire, std::string name)
        : wire_(std::move(wire)), name_(std::move(name)) {}
    ~DeviceEnd() override { HangUp(); }

    const std::string& HostPath() const override { return name_; }

    int Read(uint8_t* buffer, size_t count, int timeoutMs) override {
        Wire& w = *wire_;
        std::unique_lock<std::mutex> lock(w.mutex);
        const bool ready = WaitUntil(
            w, lock, timeoutMs, [&] { return w.hungUp || w.interrupted || !w.toDevice.empty(); });
        if (w.interrupted) {
            w.interrupted = false;
            return kInterrupted;
        }
        if (w.hungUp)
            return kClosed;
        if (!ready)
            return kTimedOut;
        const size_t n = Take(w.toDevice, buffer, count);
        lock.unlock();
        w.changed.notify_all();  // room for a waiting host write
        return static_cast<int>(n);
    }

    bool Write(const uint8_t* buffer, size_t count) override {
        Wire& w = *wire_;
        {
            std::lock_guard<std::mutex> lock(w.mutex);
            if (w.hungUp)
                return false;
            w.toHost.insert(w.toHost.end(), buffer, buffer + count);
        }
        w.changed.notify_all();
        return true;
    }

    uint32_t HostBaudRate() const override {
        std::lock_guard<std::mutex> lock(wire_->mutex);
        return wire_->hungUp ? 0 : wire_->hostState.BaudRate;
    }

    void Interrupt() override {
        {
            std::lock_guard<std::mutex> lock(wire_->mutex);
            wire_->interrupted = true;
        }
        wire_->changed.notify_all();
    }

    void HangUp() override {
        {
            std::lock_guard<std::mutex> lock(Lines().mutex);
            Lines().lines.erase(name_);
        }
        {
            std::lock_guard<std::mutex> lock(wire_->mutex);
            wire_->hungUp = true;
        }
        wire_->changed.notify_all();
    }

    bool IsHungUp() const override {
        std::lock_guard<std::mutex> lock(wire_->mutex);
        return wire_->hungUp;
    }

  private:
    std::shared_ptr<Wire> wire_;
    std::string name_;
};

// The host end of the loopback line of that name; null with *error set
// (NotFound: no such line or it hung up; Busy: the host end is open).
std::unique_ptr<SerialLine> OpenHostEnd(const char* name, OpenError* error) {
    std::shared_ptr<Wire> wire;
    int connectMs = 0;
    bool absent = false;
    {
        Registry& r = Lines();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.lines.find(name);
        if (it != r.lines.end())
            wire = it->second.lock();
    }
    if (!wire) {
        *error = OpenError::NotFound;
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(wire->mutex);
        if (wire->hungUp) {
            *error = OpenError::NotFound;
            return nullptr;
        }
        if (wire->hostOpen) {
            *error = OpenError::Busy;
            return nullptr;
        }
        wire->hostOpen = true;
        connectMs = wire->connectMs;
        absent = wire->absent;
    }
    // The opener waits while the link is being made, as on a Bluetooth port.
    std::this_thread::sleep_for(std::chrono::milliseconds(connectMs));
    if (absent) {
        std::lock_guard<std::mutex> lock(wire->mutex);
        wire->hostOpen = false;
        *error = OpenError::NoLink;
        return nullptr;
    }
    return std::make_unique<HostEnd>(std::move(wire));
}

class LoopbackSource : public platform::LineSource {
  public:
    const char* Kind() const override { return "loopback"; }
    bool Claims(const char* name) const override { return IsLoopbackName(name); }
    std::unique_ptr<SerialLine> Open(const char* name, OpenError* error) override {
        return OpenHostEnd(name, error);
    }
};

}  // namespace

bool IsLoopbackName(const char* name) {
    return name != nullptr && std::strncmp(name, kLoopbackPrefix, sizeof kLoopbackPrefix - 1) == 0;
}

std::unique_ptr<DeviceLine> CreateLoopbackLine() {
    static LoopbackSource source;
    platform::RegisterLineSource(&source);
    auto wire = std::make_shared<Wire>();
    Registry& r = Lines();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::string name = kLoopbackPrefix + std::to_string(++r.created);
    r.lines[name] = wire;
    return std::make_unique<DeviceEnd>(std::move(wire), std::move(name));
}

bool ModelLoopbackConnect(const std::string& name, int connectMs, bool absent) {
    std::shared_ptr<Wire> wire;
    {
        Registry& r = Lines();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.lines.find(name);
        if (it != r.lines.end())
            wire = it->second.lock();
    }
    if (!wire)
        return false;
    std::lock_guard<std::mutex> lock(wire->mutex);
    wire->connectMs = connectMs;
    wire->absent = absent;
    return true;
}

}  // namespace sim
