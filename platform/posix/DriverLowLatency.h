// The serial driver's low-latency mode for an open terminal: received bytes
// are handed up at once and, on the common USB bridge, its latency timer
// goes to 1 ms for as long as the mode is on, which needs no permission on
// its device attributes. A pseudo-terminal has no such mode.
//
// The mode is on only while a transfer holds the line's device (a
// LowLatencyHold on it): the flag outlives the descriptor, so a program
// ended by a signal between transfers would leave it on for every later
// user of the port.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// The driver's mode on one descriptor.
class DriverMode {
  public:
    virtual ~DriverMode() = default;
    // Switches the mode on; true when it was off before and is on now.
    virtual bool Enter(int fd) = 0;
    virtual void Leave(int fd) = 0;
};

// The system's (Linux: ASYNC_LOW_LATENCY through TIOCGSERIAL/TIOCSSERIAL).
DriverMode& SystemDriverMode();

// "MAJOR:MINOR" of the character device open on fd, "" for anything else.
std::string DeviceNumberOfDescriptor(int fd);
// "MAJOR:MINOR" of a character device's number, as sysfs writes it.
std::string DeviceNumberText(unsigned long long number);

// The process's open terminal lines and the devices its transfers hold; a
// line is in the mode while its device is held, and only a mode this
// switched on is switched off again.
class LowLatencyLines {
  public:
    explicit LowLatencyLines(DriverMode& mode) : mode_(mode) {}
    static LowLatencyLines& OfThisProcess();

    void Opened(int fd, const std::string& device);
    // Before the descriptor is closed.
    void Closing(int fd);
    // Holds nest, per device; "" (no device) holds nothing.
    void Hold(const std::string& device);
    void Release(const std::string& device);

  private:
    struct Line {
        int fd;
        std::string device;
        bool entered;
    };
    void Enter(Line& line);
    void Leave(Line& line);

    DriverMode& mode_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    std::map<std::string, int> holds_;
};

}  // namespace platform
