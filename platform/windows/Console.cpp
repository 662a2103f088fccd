#include "platform/Console.h"

#include <io.h>
#include <windows.h>

namespace platform {
namespace {

std::atomic<int32_t>* g_interruptFlag = nullptr;

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (g_interruptFlag != nullptr)
        g_interruptFlag->store(1);
    return TRUE;
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::_isatty(::_fileno(stream)) != 0;
}

InterruptGuard::InterruptGuard(std::atomic<int32_t>* flag) {
    g_interruptFlag = flag;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_interruptFlag = nullptr;
}

}  // namespace platform
