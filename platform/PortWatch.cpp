#include "platform/PortWatch.h"

#include <algorithm>

#include "platform/Deadline.h"
#include "platform/PathEvents.h"
#include "platform/PortTable.h"
#include "platform/SystemPortEvents.h"

namespace platform {
namespace {

// How often a wait looks at the cancel flag and the program's table; and
// at the named paths, when there are any: a board linked there is seen
// within that time (each look costs a read of an inotify queue, or a few
// file attributes on Windows).
constexpr int kSliceMs = 100;
constexpr int kNamedPathSliceMs = 25;

}  // namespace

// What is listed from now on is new: a scan from before the watch began
// may be older than its first event.
PortWatch::PortWatch()
    : system_(OpenSystemPortEvents()), tableGeneration_(PortTable::Generation()) {
    WatchNamedPaths();
    PortTable::Rescan();
}

PortWatch::~PortWatch() = default;

void PortWatch::AlsoWatch(const std::string& path) {
    alsoWatched_.push_back(path);
    WatchNamedPaths();
}

void PortWatch::WatchNamedPaths() {
    std::vector<std::string> paths = PortTable::NamedEntries();
    paths.insert(paths.end(), alsoWatched_.begin(), alsoWatched_.end());
    paths_ = WatchPaths(paths);
}

PortChange PortWatch::Wait(int timeoutMs, const std::atomic<int32_t>* cancel) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cancel != nullptr && cancel->load() != 0)
            return PortChange::Cancelled;
        if (const uint64_t generation = PortTable::Generation(); generation != tableGeneration_) {
            tableGeneration_ = generation;
            WatchNamedPaths();
            return PortChange::Changed;
        }
        if (paths_ && paths_->Changed())
            return PortChange::Changed;
        int slice = paths_ ? kNamedPathSliceMs : kSliceMs;
        if (timeoutMs >= 0) {
            const int left = MillisecondsUntil(deadline);
            if (left == 0)
                return PortChange::TimedOut;
            slice = std::min(slice, left);
        }
        if (system_->Changed(slice)) {
            PortTable::Rescan();
            return PortChange::Changed;
        }
    }
}

}  // namespace platform
