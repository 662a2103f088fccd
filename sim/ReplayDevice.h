// A captured serial session served as a device on a line the host opens: the
// host must send the bytes it sent then, and gets the replies it got then.
// The first difference ends the answers and is reported, so a capture that
// came with a bug report becomes a test.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/capture/CaptureFile.h"
#include "sim/DeviceLines.h"

namespace sim {

// One direction's run of bytes in a conversation.
struct Turn {
    bool fromHost = false;
    std::vector<uint8_t> bytes;
};

// The turns of the device named portName (empty: the first port that read
// anything), in order, with runs in one direction joined. False when the
// capture holds no such port. *closed, when given, tells whether every open
// of that port was closed in the capture: one that was not is cut short (the
// program was killed, or the file was cut).
bool ConversationOf(const capture::Session& session, const std::string& portName,
                    std::vector<Turn>* turns, std::string* error, bool* closed = nullptr);

// Flips a bit in or cuts short some of the device's turns, as a fuzzer would:
// every captured session becomes fuzz input. Deterministic for a seed.
void MutateReplies(std::vector<Turn>* turns, uint32_t seed);

class ReplayDevice {
  public:
    // captureClosed false: the capture is cut short, and a replay of it is
    // never reported as a match.
    explicit ReplayDevice(std::vector<Turn> turns, int hostSilenceMs = 10000,
                          bool captureClosed = true);
    ~ReplayDevice();
    ReplayDevice(const ReplayDevice&) = delete;
    ReplayDevice& operator=(const ReplayDevice&) = delete;

    // Serves on a line of the given kind; false when none can be made.
    bool Start(sim::DeviceLineKind kind = sim::DeviceLineKind::Default);
    void Stop();
    const std::string& PortPath() const { return portPath_; }

    // Until every turn was played or a difference ended the replay.
    bool WaitUntilDone(int timeoutMs) const;
    bool Done() const { return done_; }
    // True when the host sent what the capture holds, all of it, and
    // nothing after it.
    bool Matched() const;
    // What ended the replay, for people.
    std::string Report() const;

  private:
    void Serve();
    // Reads the host's next count bytes and compares them with expected.
    bool ExpectFromHost(const std::vector<uint8_t>& expected);
    void Finish(bool matched, const std::string& report);

    std::vector<Turn> turns_;
    int hostSilenceMs_;
    bool captureClosed_;
    std::unique_ptr<platform::DeviceLine> line_;
    std::string portPath_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    bool matched_ = false;
    std::string report_;
    size_t hostBytes_ = 0;  // host bytes compared so far
};

}  // namespace sim
