#include "platform/SystemShell.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdint>

namespace platform {

int SystemShellOpen(const char* target, const char* directory, const void* owner) {
    if (target == nullptr)
        return 0;
    // The default verb for a file, "open" for an address with no directory.
    const char* verb = directory == nullptr && owner == nullptr ? "open" : nullptr;
    HINSTANCE result = ::ShellExecuteA(static_cast<HWND>(const_cast<void*>(owner)), verb, target,
                                       nullptr, directory, SW_SHOWNORMAL);
    return static_cast<int>(reinterpret_cast<intptr_t>(result));
}

}  // namespace platform
