#include "util/ShellPath.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/Conventions.h"
#include "platform/ModuleFiles.h"
#include "util/BoundedText.h"

namespace {

// The root a path starts with ("C:\", "\\", "/", or ""); it is kept whole
// and ".." never climbs above it.
size_t RootLength(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':')
        return path.size() >= 3 && path[2] == platform::kPathSeparator ? 3 : 2;
    size_t n = 0;
    while (n < path.size() && path[n] == platform::kPathSeparator)
        ++n;
    return n;
}

std::string Canonical(const std::string& path) {
    const size_t root = RootLength(path);
    std::vector<std::string> kept;
    size_t at = root;
    while (at <= path.size()) {
        size_t end = path.find(platform::kPathSeparator, at);
        if (end == std::string::npos)
            end = path.size();
        const std::string segment = path.substr(at, end - at);
        if (segment == "..") {
            if (!kept.empty())
                kept.pop_back();
        } else if (!segment.empty() && segment != ".") {
            kept.push_back(segment);
        }
        at = end + 1;
    }
    std::string result = path.substr(0, root);
    for (size_t i = 0; i < kept.size(); ++i)
        result += (i == 0 ? "" : std::string(1, platform::kPathSeparator)) + kept[i];
    return result;
}

}  // namespace

bool CombinePath(const char* fileName, const char* basePath, bool strip, char* destination) {
    if (destination == nullptr)
        return false;
    destination[0] = '\0';
    if (fileName == nullptr || basePath == nullptr)
        return false;
    char base[kShellPathCapacity];
    BoundedCopy(base, sizeof base, basePath);
    std::string joined = base;
    if (strip) {
        const size_t root = RootLength(joined);
        const size_t last = joined.find_last_of(platform::kPathSeparator);
        joined.erase(last == std::string::npos || last < root ? root : last);
    }
    joined += platform::kPathSeparator;
    joined += fileName;
    const std::string canonical = Canonical(joined);
    if (canonical.size() >= kShellPathCapacity)
        return false;
    std::memcpy(destination, canonical.c_str(), canonical.size() + 1);
    return true;
}

void GetModuleDirectory(char* destination) {
    if (destination == nullptr)
        return;
    destination[0] = '\0';
    const std::string path = platform::ModuleFilePath();
    const size_t last = path.find_last_of(platform::kPathSeparator);
    if (last == std::string::npos || last == 0 || last + 1 >= kShellPathCapacity)
        return;
    std::memcpy(destination, path.c_str(), last + 1);
    destination[last + 1] = '\0';
}
