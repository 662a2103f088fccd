// Named ports coming and going: paths a program was given (a port table set
// by BREVIK_PORTS or --port, a simulator's --link), which the system's port
// news does not cover, since nothing plugs in there. On Linux the folders
// that hold them are watched (inotify); on Windows the paths are looked at
// at each call. The watch is PortWatch's; whether a path is there is for
// anyone.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

class PathEvents {
  public:
    virtual ~PathEvents() = default;
    // True when one of the paths came or went since the last call; waits
    // for nothing.
    virtual bool Changed() = 0;
};

// Watches these paths from now on; null when there is nothing to watch.
std::unique_ptr<PathEvents> WatchPaths(const std::vector<std::string>& paths);

// Whether something is there to open at path (a device node, a link to one,
// a COM port): what a named port being "plugged in" means.
bool PathPresent(const std::string& path);

}  // namespace platform
