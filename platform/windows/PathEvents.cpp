// The named ports looked at on each call: a COM name through the system's
// device names, a file path through its attributes.
#include "platform/PathEvents.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace platform {
namespace {

class PresenceWatch : public PathEvents {
  public:
    explicit PresenceWatch(const std::vector<std::string>& paths) : paths_(paths) {
        for (const std::string& path : paths_)
            present_.push_back(PathPresent(path));
    }

    bool Changed() override {
        bool changed = false;
        for (size_t i = 0; i < paths_.size(); ++i) {
            const bool now = PathPresent(paths_[i]);
            changed = changed || now != present_[i];
            present_[i] = now;
        }
        return changed;
    }

  private:
    std::vector<std::string> paths_;
    std::vector<bool> present_;
};

}  // namespace

std::unique_ptr<PathEvents> WatchPaths(const std::vector<std::string>& paths) {
    if (paths.empty())
        return nullptr;
    return std::make_unique<PresenceWatch>(paths);
}

bool PathPresent(const std::string& path) {
    static const char kDeviceNamespace[] = "\\\\.\\";
    if (path.rfind(kDeviceNamespace, 0) == 0) {
        wchar_t target[512];
        const std::wstring name = WideText(path.substr(sizeof kDeviceNamespace - 1).c_str());
        return QueryDosDeviceW(name.c_str(), target, 512) != 0;
    }
    return GetFileAttributesW(WideText(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform
