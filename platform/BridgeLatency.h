// The latency timer of the USB-serial bridge behind a port. The common
// bridge chips hold a short reply until their timer ticks (16 ms unless
// set lower), so a stop-and-wait exchange (an upload: a block, then a
// one-byte answer) waits up to a tick per block at any link rate. For a
// long exchange the timer goes down to 1 ms and back to what it was
// afterwards; where that is not allowed, the caller is told how to lower it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Where the system's device attributes are read (Linux: BREVIK_SYSFS when
// set, for tests and the simulator's stand-in, else /sys).
std::string SysfsRoot();

// "MAJOR:MINOR" of the character device a path names (through links), as
// the kernel's tree writes it in a tty's dev attribute; "" for anything else
// (and on Windows).
std::string CharacterDeviceNumber(const std::string& path);

// The bridge's timer as it is, read without changing anything: timerMs 0
// when the port has none known; advice as a hold would give it (the timer
// is above 1 ms and this user may not lower it), else "".
struct BridgeTimer {
    int timerMs = 0;
    std::string advice;
};
BridgeTimer InspectBridgeTimer(const std::string& portPath);

class LowLatencyHold {
  public:
    explicit LowLatencyHold(const std::string& portPath);
    ~LowLatencyHold();
    LowLatencyHold(const LowLatencyHold&) = delete;
    LowLatencyHold& operator=(const LowLatencyHold&) = delete;

    // The bridge's timer as found, in ms; 0 when the port has none known.
    int TimerMs() const { return timerMs_; }
    bool Lowered() const { return lowered_; }
    // The timer is above 1 ms and could not be lowered: how the user can
    // lower it (one sentence); "" otherwise.
    const std::string& Advice() const { return advice_; }

  private:
    // The port's device number (Linux): its open lines are in the driver's
    // low-latency mode while the hold lasts.
    std::string device_;
    std::string attribute_;
    // The attribute as this hold left it (Linux: its file's inode and change
    // time): a bridge replugged meanwhile has a new one, and its timer is
    // not this hold's to set.
    uint64_t writtenIdentity_ = 0;
    int timerMs_ = 0;
    bool lowered_ = false;
    std::string advice_;
};

}  // namespace platform
