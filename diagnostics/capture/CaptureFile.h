// Session capture: every byte of a serial session in both directions, with
// time stamps, the port settings and time-outs, in a text file that can be
// read and diffed. Format, one event a line after the header:
//
//   # brevik serial capture 1
//   program brevik 1.7
//   0.000000 1 open /dev/ttyUSB0        seconds since start, port number, event
//   0.000041 1 line 115200 8N1          line settings (link-rate changes)
//   0.000052 1 timeouts 0 0 300 0 0     interval, multiplier, constant, write x2
//   0.000060 1 purge 0C                 purge flags, hexadecimal
//   0.000075 1 tx 56 56                 bytes written, hexadecimal
//   0.002130 1 rx 3 02 0B 51            count asked for, then the bytes read
//   0.412000 1 close
//
// Port numbers count the opens of the process, so one device reopened is a
// new number with the same name. Lines starting with '#' are comments. Time
// stamps are written with a '.' whatever the locale. A reader takes port
// numbers up to kMaxCapturePort, counts up to kMaxCaptureRead and files up
// to kMaxCaptureFile bytes: a capture is outside input.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileAccess.h"
#include "platform/SerialTap.h"

namespace capture {

constexpr uint32_t kMaxCapturePort = 65535;
constexpr uint32_t kMaxCaptureRead = 16 * 1024 * 1024;
constexpr uint64_t kMaxCaptureFile = 256 * 1024 * 1024;

enum class EventKind { Open, Close, Line, Timeouts, Purge, Tx, Rx };

struct Event {
    double seconds = 0;
    unsigned port = 0;
    EventKind kind = EventKind::Tx;
    std::string name;            // Open: the port's name
    uint32_t baud = 0;           // Line
    std::string framing;         // Line: "8N1", ...
    uint32_t values[5] = {};     // Timeouts; Purge: values[0] holds the flags
    uint32_t requested = 0;      // Rx: the count the read asked for
    std::vector<uint8_t> bytes;  // Tx, Rx
};

struct Session {
    std::string program;  // "brevik 1.7"
    std::vector<Event> events;
};

// Parses a capture; false with the line number and what is wrong.
bool ParseCapture(const std::string& text, Session* session, std::string* error);
bool ReadCaptureFile(const std::string& path, Session* session, std::string* error);

// The text of one event line, as the writer puts it.
std::string FormatEvent(const Event& event);

// Writes a capture as the process's ports are used, each event line to the
// file as it happens. Install it with platform::SerialPort::InstallTap
// before the ports are opened.
class CaptureWriter : public platform::SerialTap {
  public:
    // Null when the file cannot be opened (a link, pipe or device is
    // refused); *why says what stood in the way.
    static std::unique_ptr<CaptureWriter> Create(const std::string& path,
                                                 const std::string& program,
                                                 std::string* why = nullptr);
    ~CaptureWriter() override;
    // True once a line could not be written whole: the capture is cut.
    bool WriteFailed() const { return failed_; }

    void Opened(unsigned port, const char* name) override;
    void Closed(unsigned port) override;
    void StateSet(unsigned port, const platform::LineState& state) override;
    void TimeoutsSet(unsigned port, const platform::Timeouts& timeouts) override;
    void Purged(unsigned port, unsigned flags) override;
    void Wrote(unsigned port, const uint8_t* bytes, uint32_t count) override;
    void ReadDone(unsigned port, const uint8_t* bytes, uint32_t count, uint32_t requested) override;

  private:
    explicit CaptureWriter(std::unique_ptr<platform::LogFile> file);
    void Put(Event event);

    std::mutex mutex_;
    std::unique_ptr<platform::LogFile> file_;
    int64_t startNs_;
    std::atomic<bool> failed_{false};
};

// Captures the process's serial traffic into path while it lives (an empty
// path captures nothing). Programs hold one from the start: ports opened
// before it existed are not seen.
class ScopedCapture {
  public:
    ScopedCapture(const std::string& path, const std::string& program);
    ~ScopedCapture();
    ScopedCapture(const ScopedCapture&) = delete;
    ScopedCapture& operator=(const ScopedCapture&) = delete;
    // False when a path was given but the file cannot be written; Problem
    // says why.
    bool Ok() const { return ok_; }
    const std::string& Problem() const { return problem_; }
    // True when a line could not be written after the file was opened.
    bool WriteFailed() const { return writer_ && writer_->WriteFailed(); }

  private:
    std::unique_ptr<CaptureWriter> writer_;
    bool ok_ = true;
    std::string problem_;
};

// The capture file the environment asks for (BREVIK_CAPTURE), or "".
std::string CapturePathFromEnvironment();

}  // namespace capture
