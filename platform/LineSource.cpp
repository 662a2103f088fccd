#include "platform/LineSource.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct Sources {
    std::mutex mutex;
    std::vector<LineSource*> list;
};

Sources& Registered() {
    static Sources sources;
    return sources;
}

}  // namespace

void RegisterLineSource(LineSource* source) {
    Sources& s = Registered();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (source != nullptr && std::find(s.list.begin(), s.list.end(), source) == s.list.end())
        s.list.push_back(source);
}

LineSource* LineSourceFor(const char* name) {
    if (name == nullptr)
        return nullptr;
    Sources& s = Registered();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (LineSource* source : s.list) {
        if (source->Claims(name))
            return source;
    }
    return nullptr;
}

}  // namespace platform
