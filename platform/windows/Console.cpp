#include "platform/Console.h"

#include <io.h>
#include <windows.h>

#include <cstring>

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

// The POSIX numbers the events are reported as: Ctrl+C and Ctrl+Break as
// SIGINT, a closed console as SIGHUP, a logoff or shutdown as SIGTERM.
constexpr int kSigInt = 2;
constexpr int kSigHup = 1;
constexpr int kSigTerm = 15;

std::atomic<int> g_heldSignal{0};
const char* g_holdNotice = nullptr;
HANDLE g_holdEnded = nullptr;  // set when the hold ends: a close waits for it

BOOL WINAPI OnHeldEvent(DWORD event) {
    const int number = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kSigInt
                       : event == CTRL_CLOSE_EVENT                        ? kSigHup
                                                                          : kSigTerm;
    int none = 0;
    if (g_heldSignal.compare_exchange_strong(none, number) && g_holdNotice != nullptr) {
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), g_holdNotice,
                    static_cast<DWORD>(std::strlen(g_holdNotice)), &written, nullptr);
    }
    // The process ends when this returns after a close, logoff or shutdown:
    // hold it here until the work is done (or the system's limit ends it).
    if (number != kSigInt && g_holdEnded != nullptr)
        ::WaitForSingleObject(g_holdEnded, INFINITE);
    return TRUE;
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::_isatty(::_fileno(stream)) != 0;
}

int TerminalColumns(std::FILE* stream) {
    if (stream == nullptr)
        return 0;
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (console == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(console, &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

InterruptGuard::InterruptGuard(std::atomic<int32_t>* flag) {
    g_interruptFlag = flag;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_interruptFlag = nullptr;
}

int InterruptGuard::StopSignal() const {
    return 0;
}

StopAsInterrupt::StopAsInterrupt() = default;
StopAsInterrupt::~StopAsInterrupt() = default;

}  // namespace platform

namespace platform {

StopSignalHold::StopSignalHold(const char* notice) {
    g_heldSignal.store(0);
    g_holdNotice = notice;
    // One event for the process, kept: a handler may still wait on it.
    if (g_holdEnded == nullptr)
        g_holdEnded = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    else
        ::ResetEvent(g_holdEnded);
    ::SetConsoleCtrlHandler(OnHeldEvent, TRUE);
}

StopSignalHold::~StopSignalHold() {
    ::SetConsoleCtrlHandler(OnHeldEvent, FALSE);
    if (g_holdEnded != nullptr)
        ::SetEvent(g_holdEnded);
    g_holdNotice = nullptr;
}

int StopSignalHold::HeldSignal() const {
    return g_heldSignal.load();
}

}  // namespace platform
