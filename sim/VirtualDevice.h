// A virtual Brevik device served on a line the host opens like a serial port (a
// pseudo-terminal or a loopback line in memory). It is an independent
// reading of the wire formats: it shares no protocol code with the device
// link, so a misreading on one side shows up as a failed exchange.
//
// The device answers only while the line speed the host has set on the
// terminal equals the device's own rate (115200 after power-up); bytes sent
// at another speed are lost, as they would be on a real line.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Bridge.h"
#include "sim/DeviceLines.h"
#include "sim/ReceiveLog.h"

namespace sim {

struct DeviceConfig {
    // Firmware version; the letter names the family's firmware and decides
    // which command forms the device knows: 'Q', 'N', 'P', 'L' and 'D' speak
    // the current forms ("HR"/"HW", banks), '1', '2' and 'K' the older ones.
    uint8_t major = 2;
    uint8_t minor = 11;
    char letter = 'Q';
    uint32_t initialBaud = 115200;
    // Hardware version block at configuration addresses 1..7: the hardware
    // letter at address 1 (0: the version letter) and the interface letter
    // ('U', 'S' or 'B') at address 4.
    char hardwareLetter = 0;
    char interfaceLetter = 'U';
    // The configuration memory takes requests but never answers.
    bool configMemorySilent = false;
    // Status byte that ends a firmware upload whose checksum was right.
    uint8_t finalStatus = 'C';
    // Takes as long as a real line would: 10 bits per byte at the current
    // rate, for what arrives and for what is answered.
    bool paceAtLineRate = false;
    // The bridge between the device and the host (Bridge.h); with a sysfs
    // root, a latency timer's stand-in attribute is made there for the port.
    BridgeModel bridge{};
    std::string sysfsRoot{};
    // A Dunmarra's serial number, as the serial request answers it.
    std::array<uint8_t, 9> serialNumber = {'D', 'M', '2', '6', '1', '2', '0', '0', '7'};
    // Status query: "BB" while busy, "OO" otherwise.
    bool busy = false;
    // Status words, first to last, as "CC" sends them.
    std::array<uint16_t, 3> statusWords = {0x0102, 0x0304, 0x0506};
    // The data link's peer. A connected one answers a pass-through request
    // with the request itself, after the echo of the request on the shared
    // line; a sleeping one wakes on a request of 20 bytes or more.
    bool dataLinkConnected = true;
    bool dataLinkWakesOnBurst = false;
    // What the peer sends unprompted, for the listen form.
    std::vector<uint8_t> dataLinkListenData{};
};

// Six bytes and an end byte that follow a complete pass-through reply.
inline const std::array<uint8_t, 7> kDataLinkTrailer = {'L', 'I', 'N', 'K', 'O', 'K', 0x0D};

constexpr size_t kConfigMemorySize = 0x10000;

// What the device keeps besides its configuration.
struct DeviceState {
    std::vector<uint8_t> configMemory;
    uint8_t activeEmulationBank = 0;
    uint8_t staticEmulationBank = 0;
    uint8_t readWriteBank = 0;
    // The last firmware upload as the device received it.
    std::vector<uint8_t> uploadedBody;
    std::vector<size_t> uploadTransmissions;  // bytes per block transmission
    uint8_t uploadExternalChecksum = 0;
    uint8_t uploadFinalStatus = 0;
    int uploadsCompleted = 0;
    uint8_t vendorId = 0;
    int statusPolls = 0;
    bool dataLinkAwake = false;
    // Packets of the block and bulk commands the device took.
    int blockPackets = 0;
    int bulkPackets = 0;
    uint8_t emulationMode = 'E';  // a Dunmarra's, 'E' or 'T'
};

// Device memory: 1 MiB on a Dunmarra (24-bit block addresses), else eight
// 64 KiB banks that block packets reach through the read/write bank.
constexpr size_t kDunmarraMemorySize = 0x100000;
constexpr size_t kBankedMemorySize = 0x80000;

enum class FaultKind {
    None,
    NoReply,      // the request is taken, nothing is answered
    WrongByte,    // the first reply byte is replaced by Fault::byte
    BadChecksum,  // the last reply byte is changed
    Delay,        // the reply goes out after Fault::delayMs
    CutShort,     // the reply's last byte is not sent
    Disconnect,   // the line hangs up instead of answering (after Fault::delayMs)
};

struct Fault {
    FaultKind kind = FaultKind::None;
    uint8_t byte = 'X';
    int delayMs = 0;
    int times = -1;  // how many replies it hits; -1: every one
    int skip = 0;    // replies let through untouched before it strikes
};

// One request as the device understood it, and what it sent back.
struct Exchange {
    std::string command;  // "VV", "S", or "?" for an unknown first byte
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;
};

class VirtualDevice;

// What a command handler sees of the device while it serves one request.
class Session {
  public:
    explicit Session(VirtualDevice& device) : device_(device) {}
    // Reads the request's next byte; false when none came in time.
    bool ReadByte(uint8_t* byte, int timeoutMs = kParameterTimeoutMs);
    bool ReadBytes(uint8_t* bytes, size_t count, int timeoutMs = kParameterTimeoutMs);
    // Drops the rest of a request the device does not understand.
    void DiscardRest();
    // The device's memories, under the device's lock.
    template <typename F>
    auto WithState(F f);
    // The device memory, under the device's lock.
    template <typename F>
    auto WithMemory(F f);
    // Sends the reply through the armed fault of the command. True when it
    // went out unchanged; LastSent tells what did go out (empty: nothing).
    // When it goes out unchanged, beforeWrite runs first: the device acts
    // on the request before the host can see the answer.
    bool Reply(const std::vector<uint8_t>& bytes, const std::function<void()>& beforeWrite = {});
    const std::vector<uint8_t>& LastSent() const { return lastSent_; }
    // Names the request for the log and for fault lookup ("VV", "S", ...).
    void Name(const std::string& command);
    DeviceConfig Config() const;
    void SetConfig(const DeviceConfig& config);
    void SetBaud(uint32_t baud);

    static constexpr int kParameterTimeoutMs = 200;

  private:
    VirtualDevice& device_;
    std::vector<uint8_t> lastSent_;
};

using CommandHandler = std::function<void(Session&)>;

class VirtualDevice {
  public:
    explicit VirtualDevice(DeviceConfig config = {});
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // Creates the terminal and starts serving on a thread of its own.
    // Serves on a line of the given kind; false when none can be made.
    bool Start(sim::DeviceLineKind kind = sim::DeviceLineKind::Default);
    // Serves on the line given (one another tool made); false for none.
    bool StartOn(std::unique_ptr<platform::DeviceLine> line);
    void Stop();
    const std::string& PortPath() const { return portPath_; }

    uint32_t CurrentBaud() const { return baud_.load(); }
    DeviceConfig Config() const;
    void SetConfig(const DeviceConfig& config);
    DeviceState State() const;

    // Arms a fault for the named command ("VV", "S", ...).
    void InjectFault(const std::string& command, const Fault& fault);
    void ClearFaults();
    // Pulls the plug: the host's reads and writes fail from now on.
    void Disconnect();

    // Device memory, for tests to fill and inspect (cut at its end).
    std::vector<uint8_t> Memory(uint32_t address, size_t count) const;
    void SetMemory(uint32_t address, const std::vector<uint8_t>& bytes);

    std::vector<Exchange> Exchanges() const;
    // Every byte that arrived, also those lost to a wrong line speed.
    std::vector<uint8_t> ReceivedBytes() const;
    void ClearLog();
    // Waits until at least count exchanges were logged; false on time-out.
    bool WaitForExchanges(size_t count, int timeoutMs) const;

  private:
    friend class Session;

    void Serve();
    void ServeRequest();
    bool NextByte(uint8_t* byte, int timeoutMs);
    Fault TakeFault(const std::string& command);
    // Puts the request being served into the log, or brings its entry up to
    // date. Done before each reply goes out, so a host that has the reply
    // also finds the exchange logged.
    void PublishExchange();
    void RegisterCommands();
    void SleepUnlessStopping(int milliseconds);
    // Waits out the wire time of count bytes at the device's rate.
    void PaceLine(size_t count);
    void HangUpLine();

    mutable std::mutex mutex_;
    mutable std::condition_variable logChanged_;
    DeviceConfig config_;
    DeviceState state_;
    std::vector<uint8_t> memory_;
    std::map<std::string, Fault> faults_;
    // An exchange as logged: its request is a range of the receive log.
    struct LoggedExchange {
        std::string command;
        size_t requestBegin;
        size_t requestEnd;
        std::vector<uint8_t> reply;
    };
    std::vector<LoggedExchange> exchanges_;
    // Appended by the serving thread under mutex_; read by it without.
    ReceiveLog received_;
    size_t logStart_ = 0;         // where ReceivedBytes begins (ClearLog moves it)
    uint64_t logGeneration_ = 0;  // counts ClearLog calls
    std::map<uint8_t, std::pair<std::string, CommandHandler>> commands_;

    std::atomic<uint32_t> baud_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> faultsArmed_{false};  // spares the lock on the hot path
    std::atomic<bool> disconnectRequested_{false};
    std::unique_ptr<platform::DeviceLine> line_;
    std::string portPath_;
    std::thread thread_;

    // State of the request being served; touched by the serving thread only.
    size_t readPosition_ = 0;  // stream position of the next byte to take
    std::string currentCommand_;
    size_t currentBegin_ = 0;
    std::vector<uint8_t> currentReply_;
    bool currentPublished_ = false;
    uint64_t publishedGeneration_ = 0;
    size_t publishedReply_ = 0;
    bool pacing_ = false;
    bool lineSpeedChecked_ = false;
    std::chrono::steady_clock::time_point wireFreeAt_{};
};

template <typename F>
auto Session::WithState(F f) {
    std::lock_guard<std::mutex> lock(device_.mutex_);
    return f(device_.state_);
}

template <typename F>
auto Session::WithMemory(F f) {
    std::lock_guard<std::mutex> lock(device_.mutex_);
    return f(device_.memory_);
}

}  // namespace sim
