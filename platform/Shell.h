// Handing a file or an address to the desktop's shell: the user's browser
// for a web address or a page (ShellExecute on Windows, xdg-open elsewhere).
#pragma once

#include <functional>

namespace platform {

// target: an address or a file; directory: the working directory or null;
// owner: the window asking, or null. Returns the shell's result: above 32
// for success on Windows, as ShellExecute counts; 33 for a started opener
// elsewhere, 0 when none could be started.
using ShellOpener =
    std::function<int(const char* target, const char* directory, const void* owner)>;

int ShellOpen(const char* target, const char* directory, const void* owner);

// Replaces the system's shell (tests watch what would be opened); an empty
// opener puts the system's back.
void SetShellOpener(ShellOpener opener);

}  // namespace platform
