// The device's side of the wire: every request starts with a command byte
// that picks its handler ('V' version "VV" -> major minor letter; 'S' link
// rate and status "SS"; 'H'/'E'/'e' configuration memory; 'B' banks; 'f'
// firmware upload; 'R'/'W'/'w'/'X' block and 'Z' bulk transfers; 'C' status
// words; 'N' identity; 'K'/'k' data link; 'O' emulation mode). A handler
// reads the rest of its request from the line (most end in an 8-bit sum of
// what came before) and writes its reply; an unknown command byte is
// answered '?' (and, at a raised link rate, sends the device back to 115200).
// The handlers' units say their exchanges byte by byte.
#include "sim/VirtualDevice.h"

#include "sim/SimFamilies.h"

#include <algorithm>
#include <chrono>

#include "sim/DeviceLines.h"
#include "sim/LoopbackLine.h"

namespace sim {
namespace {

constexpr uint32_t kStartingBaud = 115200;

}  // namespace

VirtualDevice::VirtualDevice(DeviceConfig config) : config_(config), baud_(config.initialBaud) {
    state_.configMemory.assign(kConfigMemorySize, 0xFF);
    const char hardware = config.hardwareLetter != 0 ? config.hardwareLetter : config.letter;
    const uint8_t block[7] = {static_cast<uint8_t>(hardware),
                              '0',
                              '3',
                              static_cast<uint8_t>(config.interfaceLetter),
                              0x12,
                              0x34,
                              0x56};
    std::copy(block, block + 7, state_.configMemory.begin() + 1);
    memory_.assign(SimFamilyOf(config.letter).memorySize, 0x00);
    RegisterCommands();
}

std::vector<uint8_t> VirtualDevice::Memory(uint32_t address, size_t count) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t begin = std::min<size_t>(address, memory_.size());
    const size_t end = std::min(memory_.size(), begin + count);
    return std::vector<uint8_t>(memory_.begin() + static_cast<long>(begin),
                                memory_.begin() + static_cast<long>(end));
}

void VirtualDevice::SetMemory(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < bytes.size() && address + i < memory_.size(); ++i)
        memory_[address + i] = bytes[i];
}

VirtualDevice::~VirtualDevice() {
    Stop();
}

bool VirtualDevice::Start(sim::DeviceLineKind kind) {
    if (thread_.joinable())
        return true;
    return StartOn(sim::CreateDeviceLine(kind));
}

bool VirtualDevice::StartOn(std::unique_ptr<platform::DeviceLine> line) {
    if (thread_.joinable())
        return true;
    line_ = std::move(line);
    if (!line_)
        return false;
    portPath_ = line_->HostPath();
    BridgeModel bridge = Config().bridge;
    if (bridge.latencyTimer && !Config().sysfsRoot.empty())
        bridge.timerFile = MakeTimerAttribute(Config().sysfsRoot, portPath_, bridge.latencyMs);
    if (bridge.connectMs > 0 || bridge.absent)
        ModelLoopbackConnect(portPath_, bridge.connectMs, bridge.absent);
    line_ = BridgeLine(std::move(line_), bridge);
    stopping_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void VirtualDevice::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    logChanged_.notify_all();
    if (line_)
        line_->Interrupt();
    if (thread_.joinable())
        thread_.join();
    line_.reset();
}

DeviceConfig VirtualDevice::Config() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

DeviceState VirtualDevice::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void VirtualDevice::SetConfig(const DeviceConfig& config) {
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = config;
}

void VirtualDevice::InjectFault(const std::string& command, const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[command] = fault;
    faultsArmed_ = true;
}

void VirtualDevice::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    faultsArmed_ = false;
}

void VirtualDevice::Disconnect() {
    disconnectRequested_ = true;
    if (line_)
        line_->Interrupt();
}

std::vector<Exchange> VirtualDevice::Exchanges() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Exchange> exchanges;
    for (const LoggedExchange& e : exchanges_) {
        exchanges.push_back({e.command, received_.Copy(e.requestBegin, e.requestEnd), e.reply});
    }
    return exchanges;
}

std::vector<uint8_t> VirtualDevice::ReceivedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.Copy(logStart_, received_.End());
}

void VirtualDevice::ClearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.clear();
    logStart_ = received_.End();
    ++logGeneration_;
}

bool VirtualDevice::WaitForExchanges(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return logChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return exchanges_.size() >= count; });
}

Fault VirtualDevice::TakeFault(const std::string& command) {
    if (!faultsArmed_.load(std::memory_order_acquire))
        return {};
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = faults_.find(command);
    if (it == faults_.end())
        return {};
    if (it->second.skip > 0) {
        --it->second.skip;
        return {};
    }
    Fault fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0)
        faults_.erase(it);
    return fault;
}

void VirtualDevice::SleepUnlessStopping(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    logChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                         [this] { return stopping_.load(); });
}

void VirtualDevice::PaceLine(size_t count) {
    using namespace std::chrono;
    const auto wireTime = microseconds(count * 10'000'000ull / std::max<uint32_t>(baud_.load(), 1));
    wireFreeAt_ = std::max(steady_clock::now(), wireFreeAt_) + wireTime;
    // A plain sleep wakes up to a few hundred microseconds late, which over
    // hundreds of block exchanges would make the line slower than its rate:
    // sleep most of the way, then spin to the exact time.
    constexpr auto kSpin = microseconds(300);
    if (wireFreeAt_ - steady_clock::now() > kSpin)
        std::this_thread::sleep_until(wireFreeAt_ - kSpin);
    while (steady_clock::now() < wireFreeAt_)
        std::this_thread::yield();
}

void VirtualDevice::HangUpLine() {
    line_->HangUp();
    readPosition_ = received_.End();
}

void VirtualDevice::PublishExchange() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!currentPublished_) {
            exchanges_.push_back({currentCommand_, currentBegin_, readPosition_, currentReply_});
            publishedGeneration_ = logGeneration_;
            currentPublished_ = true;
        } else if (publishedGeneration_ == logGeneration_ && !exchanges_.empty()) {
            LoggedExchange& entry = exchanges_.back();
            entry.command = currentCommand_;
            entry.requestEnd = readPosition_;
            entry.reply.insert(entry.reply.end(),
                               currentReply_.begin() + static_cast<long>(publishedReply_),
                               currentReply_.end());
        }
        // else: the log was cleared since this exchange went into it.
        publishedReply_ = currentReply_.size();
    }
    logChanged_.notify_all();
}

bool VirtualDevice::NextByte(uint8_t* byte, int timeoutMs) {
    while (readPosition_ >= received_.End()) {
        if (stopping_ || disconnectRequested_ || line_->IsHungUp())
            return false;
        uint8_t chunk[4096];
        int n = line_->Read(chunk, sizeof chunk, timeoutMs);
        if (n <= 0)
            return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.Append(chunk, static_cast<size_t>(n));
        }
        if (pacing_)
            PaceLine(static_cast<size_t>(n));
        // Bytes sent at another line speed arrive as noise and are lost. The
        // host sets its speed between requests, so one look per request does.
        if (!lineSpeedChecked_) {
            if (line_->HostBaudRate() != baud_.load()) {
                readPosition_ = received_.End();
                continue;
            }
            lineSpeedChecked_ = true;
        }
    }
    *byte = *received_.At(readPosition_++);
    return true;
}

void VirtualDevice::Serve() {
    while (!stopping_) {
        if (disconnectRequested_) {
            if (!line_->IsHungUp())
                HangUpLine();
            SleepUnlessStopping(1000);
            continue;
        }
        pacing_ = Config().paceAtLineRate;
        lineSpeedChecked_ = false;
        uint8_t first;
        if (!NextByte(&first, -1)) {
            if (line_->IsHungUp())
                SleepUnlessStopping(1000);
            continue;
        }
        currentBegin_ = readPosition_ - 1;
        ServeRequest();
    }
}

void VirtualDevice::ServeRequest() {
    currentCommand_.clear();
    currentReply_.clear();
    currentPublished_ = false;
    publishedReply_ = 0;
    {
        // Bytes before the oldest that anyone can still ask for are dropped
        // once they add up, so a long-running device does not grow forever.
        std::lock_guard<std::mutex> lock(mutex_);
        size_t keepFrom = std::min(logStart_, currentBegin_);
        if (!exchanges_.empty())
            keepFrom = std::min(keepFrom, exchanges_.front().requestBegin);
        received_.Compact(keepFrom);
    }
    Session session(*this);
    const uint8_t first = *received_.At(currentBegin_);
    auto it = commands_.find(first);
    if (it == commands_.end()) {
        session.Name("?");
        session.Reply({'?'});
        // At a raised rate, a request that starts with no command is what a
        // bridge that cannot make the rate delivers: the device goes back to
        // the rate it starts at, where the host can reach it again.
        if (baud_.load() > kStartingBaud)
            baud_ = kStartingBaud;
    } else {
        session.Name(it->second.first);
        it->second.second(session);
    }
    PublishExchange();
}

bool Session::ReadByte(uint8_t* byte, int timeoutMs) {
    return device_.NextByte(byte, timeoutMs);
}

bool Session::ReadBytes(uint8_t* bytes, size_t count, int timeoutMs) {
    VirtualDevice& d = device_;
    for (size_t done = 0; done < count;) {
        if (!d.NextByte(bytes + done, timeoutMs))
            return false;
        ++done;
        // Take the rest of what has already arrived in one go.
        const size_t ready = std::min(d.received_.End() - d.readPosition_, count - done);
        const uint8_t* from = d.received_.At(d.readPosition_);
        std::copy(from, from + ready, bytes + done);
        d.readPosition_ += ready;
        done += ready;
    }
    return true;
}

void Session::DiscardRest() {
    uint8_t ignored;
    while (device_.NextByte(&ignored, 20)) {
    }
}

void Session::Name(const std::string& command) {
    device_.currentCommand_ = command;
}

DeviceConfig Session::Config() const {
    return device_.Config();
}

void Session::SetConfig(const DeviceConfig& config) {
    device_.SetConfig(config);
}

void Session::SetBaud(uint32_t baud) {
    device_.baud_ = baud;
}

bool Session::Reply(const std::vector<uint8_t>& bytes, const std::function<void()>& beforeWrite) {
    Fault fault = device_.TakeFault(device_.currentCommand_);
    std::vector<uint8_t>& sent = lastSent_;
    sent = bytes;
    switch (fault.kind) {
        case FaultKind::None:
            break;
        case FaultKind::NoReply:
            sent.clear();
            return false;
        case FaultKind::WrongByte:
            if (!sent.empty())
                sent[0] = fault.byte;
            break;
        case FaultKind::BadChecksum:
            if (!sent.empty())
                sent.back() = static_cast<uint8_t>(sent.back() + 1);
            break;
        case FaultKind::Delay:
            device_.SleepUnlessStopping(fault.delayMs);
            break;
        case FaultKind::CutShort:
            if (!sent.empty())
                sent.pop_back();
            break;
        case FaultKind::Disconnect:
            // A delay lets what was sent before reach the host first, as
            // with a device unplugged a moment after its last reply.
            device_.SleepUnlessStopping(fault.delayMs);
            sent.clear();
            device_.HangUpLine();
            return false;
    }
    if (beforeWrite && sent == bytes)
        beforeWrite();
    device_.currentReply_.insert(device_.currentReply_.end(), sent.begin(), sent.end());
    device_.PublishExchange();
    if (device_.pacing_)
        device_.PaceLine(sent.size());
    const bool written = device_.line_->Write(sent.data(), sent.size());
    return written && sent == bytes;
}

}  // namespace sim
