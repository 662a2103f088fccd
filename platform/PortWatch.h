// Serial ports coming and going, as the system announces them: on Linux
// udev's events for tty devices (what a plugged or unplugged USB bridge,
// or a Bluetooth port bound or released, sends); on Windows the system's
// port list, looked at four times a second. A change of the port table a
// program sets (tests, a station's simulators) counts as one too, and so
// does a path of a table that is set, or one named to AlsoWatch, appearing
// or going (a simulator started with --link is a board plugged in). The
// watcher only says that something may have changed; the caller lists the
// ports again and compares.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class PortChange {
    Changed,    // a port came or went (or may have)
    TimedOut,   // nothing within the time
    Cancelled,  // *cancel became non-zero
};

class PortWatch {
  public:
    // Listens from now on: a port that appears after this is seen, also
    // while nobody waits.
    PortWatch();
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Waits up to timeoutMs (-1: no limit) for a change; cancel, when
    // given, is looked at every tenth of a second.
    PortChange Wait(int timeoutMs, const std::atomic<int32_t>* cancel = nullptr);

    // A path named outside the table (brevik --port PATH) watched too.
    void AlsoWatch(const std::string& path);

  private:
    // Watches the paths of the table, when it is set, and those named.
    void WatchNamedPaths();

    std::unique_ptr<class SystemPortEvents> system_;
    std::unique_ptr<class PathEvents> paths_;
    std::vector<std::string> alsoWatched_;
    uint64_t tableGeneration_;
};

}  // namespace platform
