// inotify on the folders of the named paths: a link made or removed there
// (a simulator's --link, a udev rule's link) or a node created or deleted.
#include "platform/PathEvents.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace platform {
namespace {

constexpr uint32_t kEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF;

class FolderWatch : public PathEvents {
  public:
    explicit FolderWatch(const std::vector<std::string>& paths)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const std::string& path : paths) {
            const std::filesystem::path p(path);
            const std::string folder =
                p.has_parent_path() ? p.parent_path().string() : std::string(".");
            auto [it, added] = folders_.try_emplace(folder);
            it->second.insert(p.filename().string());
            if (added && fd_ >= 0)
                watches_[inotify_add_watch(fd_, folder.c_str(), kEvents)] = folder;
        }
    }
    ~FolderWatch() override {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool Changed() override {
        if (fd_ < 0)
            return false;
        bool named = false;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                const auto folder = watches_.find(event->wd);
                if (folder == watches_.end())
                    continue;
                // The folder itself gone, or the queue overflowed: anything
                // may have changed.
                if ((event->mask & (IN_DELETE_SELF | IN_Q_OVERFLOW)) != 0 || event->len == 0) {
                    named = true;
                    continue;
                }
                named = named || folders_[folder->second].count(event->name) != 0;
            }
        }
        return named;
    }

  private:
    int fd_;
    std::map<std::string, std::set<std::string>> folders_;  // folder: names in it
    std::map<int, std::string> watches_;                    // watch: folder
};

}  // namespace

std::unique_ptr<PathEvents> WatchPaths(const std::vector<std::string>& paths) {
    if (paths.empty())
        return nullptr;
    return std::make_unique<FolderWatch>(paths);
}

bool PathPresent(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace platform
