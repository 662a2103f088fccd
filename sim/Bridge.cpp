#include "sim/Bridge.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/BridgeLatency.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A bridge chip sends what it holds once this much is waiting.
constexpr size_t kBridgePacketData = 62;
constexpr int kUsbFrameMs = 1;
// A read that returns sooner found its bytes waiting.
constexpr auto kAlreadyThere = std::chrono::microseconds(200);
// What a byte sent at a rate the bridge cannot make looks like on the
// other side: another byte.
constexpr uint8_t kGarble = 0xA5;

bool ParseNumber(const std::string& text, int* value) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *value = std::atoi(text.c_str());
    return true;
}

class BridgedLine : public platform::DeviceLine {
  public:
    BridgedLine(std::unique_ptr<platform::DeviceLine> line, const BridgeModel& model)
        : line_(std::move(line)), model_(model), start_(Clock::now()), lastDelivery_(start_) {
        if (HoldsReplies())
            thread_ = std::thread([this] { Deliver(); });
    }
    ~BridgedLine() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    const std::string& HostPath() const override { return line_->HostPath(); }
    uint32_t HostBaudRate() const override { return line_->HostBaudRate(); }
    void Interrupt() override { line_->Interrupt(); }
    void HangUp() override {
        // Not while the bridge's side is writing what it held.
        std::lock_guard<std::mutex> lock(writing_);
        line_->HangUp();
    }
    bool IsHungUp() const override { return line_->IsHungUp(); }

    int Read(uint8_t* buffer, size_t count, int timeoutMs) override {
        const Clock::time_point asked = Clock::now();
        const int n = line_->Read(buffer, count, timeoutMs);
        if (n <= 0)
            return n;
        // Bytes that came while the device waited for them ride the USB
        // frame that is going on: they are there at its end. Bytes that were
        // already waiting came in an earlier frame.
        if (model_.usbFrames && Clock::now() - asked > kAlreadyThere)
            std::this_thread::sleep_until(NextFrame());
        if (Garbled())
            std::for_each(buffer, buffer + n, [](uint8_t& b) { b ^= kGarble; });
        return n;
    }

    bool Write(const uint8_t* buffer, size_t count) override {
        std::vector<uint8_t> bytes(buffer, buffer + count);
        if (Garbled())
            std::for_each(bytes.begin(), bytes.end(), [](uint8_t& b) { b ^= kGarble; });
        if (!HoldsReplies())
            return line_->Write(bytes.data(), bytes.size());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const Clock::time_point due = Clock::now() + milliseconds(model_.roundTripMs);
            for (uint8_t b : bytes)
                held_.push_back({b, due});
        }
        changed_.notify_all();
        return !line_->IsHungUp();
    }

  private:
    struct HeldByte {
        uint8_t byte;
        Clock::time_point due;  // not before (the Bluetooth round trip)
    };

    bool HoldsReplies() const {
        return model_.latencyTimer || model_.cdc || model_.roundTripMs > 0;
    }

    bool Garbled() const {
        return !model_.rates.empty() && std::find(model_.rates.begin(), model_.rates.end(),
                                                  line_->HostBaudRate()) == model_.rates.end();
    }

    Clock::time_point NextFrame() const {
        const auto since = std::chrono::duration_cast<milliseconds>(Clock::now() - start_);
        return start_ + since + milliseconds(kUsbFrameMs);
    }

    // The timer as the bridge reads it now: the stand-in attribute when
    // there is one (a host may have changed it), else the model's value.
    int TimerMs() const {
        if (!model_.timerFile.empty()) {
            std::ifstream in(model_.timerFile);
            int ms = 0;
            if (in >> ms && ms >= 1 && ms <= 255)
                return ms;
        }
        return model_.latencyMs;
    }

    // The bridge's side: what it holds goes out at each tick of its timer
    // (or USB frame), or at once when a packet's worth is waiting.
    void Deliver() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            const int period = model_.latencyTimer ? TimerMs() : kUsbFrameMs;
            const Clock::time_point tick = lastDelivery_ + milliseconds(period);
            const bool full = changed_.wait_until(lock, tick, [this] {
                return stopping_ ||
                       (model_.latencyTimer && Ready(Clock::now()) >= kBridgePacketData);
            });
            if (stopping_)
                break;
            const Clock::time_point now = Clock::now();
            size_t n = Ready(now);
            if (full)
                n = std::min(n, kBridgePacketData);
            std::vector<uint8_t> out;
            for (size_t i = 0; i < n; ++i) {
                out.push_back(held_.front().byte);
                held_.pop_front();
            }
            // A tick with nothing to send still counts: the chip sends its
            // status then, and the timer starts again.
            lastDelivery_ = now;
            if (!out.empty()) {
                lock.unlock();
                {
                    std::lock_guard<std::mutex> writing(writing_);
                    if (!line_->IsHungUp())
                        line_->Write(out.data(), out.size());
                }
                lock.lock();
            }
        }
    }

    // How many held bytes may go out now.
    size_t Ready(Clock::time_point now) const {
        size_t n = 0;
        while (n < held_.size() && held_[n].due <= now)
            ++n;
        return n;
    }

    std::unique_ptr<platform::DeviceLine> line_;
    const BridgeModel model_;
    const Clock::time_point start_;
    std::mutex mutex_;
    std::mutex writing_;  // the bridge's writes and a hang-up, one at a time
    std::condition_variable changed_;
    std::deque<HeldByte> held_;
    Clock::time_point lastDelivery_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace

std::string MakeTimerAttribute(const std::string& sysfsRoot, const std::string& portPath, int ms) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path port = fs::canonical(portPath, ec);
    if (ec)
        return "";
    const fs::path tty = fs::path(sysfsRoot) / "class/tty" / port.filename();
    const fs::path folder = tty / "device";
    fs::create_directories(folder, ec);
    // The tty's device number, as the kernel's tree has it beside.
    if (const std::string number = platform::CharacterDeviceNumber(port.string()); !number.empty())
        std::ofstream(tty / "dev") << number << "\n";
    const fs::path file = folder / "latency_timer";
    std::ofstream(file) << ms << "\n";
    return fs::exists(file, ec) ? file.string() : "";
}

bool ParseBridge(const std::string& text, BridgeModel* model, std::string* error) {
    BridgeModel parsed;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        const size_t colon = part.find(':');
        const std::string kind = part.substr(0, colon);
        const std::string options = colon == std::string::npos ? "" : part.substr(colon + 1);
        int ms = 0;
        if (kind == "pty" && colon == std::string::npos) {
            continue;
        } else if (kind == "latency") {
            parsed.latencyTimer = true;
            parsed.usbFrames = true;
            if (!options.empty() && (!ParseNumber(options, &ms) || ms < 1 || ms > 255)) {
                *error = "latency takes a timer of 1 to 255 ms, not '" + options + "'";
                return false;
            }
            if (!options.empty())
                parsed.latencyMs = ms;
        } else if (kind == "cdc" && colon == std::string::npos) {
            parsed.cdc = true;
            parsed.usbFrames = true;
        } else if (kind == "rates") {
            std::istringstream list(options);
            for (std::string rate; std::getline(list, rate, '/');) {
                if (!ParseNumber(rate, &ms) || ms <= 0) {
                    *error = "rates takes link rates separated by '/', not '" + options + "'";
                    return false;
                }
                parsed.rates.push_back(static_cast<uint32_t>(ms));
            }
            if (parsed.rates.empty()) {
                *error = "rates needs at least one link rate";
                return false;
            }
        } else if (kind == "rfcomm") {
            parsed.roundTripMs = 30;
            if (!options.empty() && (!ParseNumber(options, &ms) || ms > 10000)) {
                *error = "rfcomm takes a round trip of 0 to 10000 ms, not '" + options + "'";
                return false;
            }
            if (!options.empty())
                parsed.roundTripMs = ms;
        } else if (kind == "connect") {
            if (!ParseNumber(options, &ms) || ms > 60000) {
                *error = "connect takes an opening time of 0 to 60000 ms, not '" + options + "'";
                return false;
            }
            parsed.connectMs = ms;
        } else if (kind == "absent" && colon == std::string::npos) {
            parsed.absent = true;
        } else {
            *error = "unknown bridge '" + part +
                     "' (pty, latency[:MS], cdc, rates:A/B, rfcomm[:MS], connect:MS, absent)";
            return false;
        }
    }
    parsed.timerFile = model->timerFile;
    *model = parsed;
    return true;
}

std::unique_ptr<platform::DeviceLine> BridgeLine(std::unique_ptr<platform::DeviceLine> line,
                                                 const BridgeModel& model) {
    if (!line || model.IsPlain())
        return line;
    return std::make_unique<BridgedLine>(std::move(line), model);
}

}  // namespace sim
