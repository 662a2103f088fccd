#include "platform/Shell.h"

#include <mutex>

#include "platform/SystemShell.h"

namespace platform {
namespace {

std::mutex g_mutex;
ShellOpener g_opener;

}  // namespace

int ShellOpen(const char* target, const char* directory, const void* owner) {
    ShellOpener opener;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        opener = g_opener;
    }
    return opener ? opener(target, directory, owner) : SystemShellOpen(target, directory, owner);
}

void SetShellOpener(ShellOpener opener) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_opener = std::move(opener);
}

}  // namespace platform
