#include "platform/Console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

namespace platform {
namespace {

std::atomic<int32_t>* g_interruptFlag = nullptr;
struct sigaction g_previousAction;
constexpr int kStopSignals[] = {SIGTERM, SIGHUP};
struct sigaction g_stopPrevious[2];
std::atomic<int> g_stopsAsInterrupt{0};
std::atomic<int> g_stopSignal{0};

void OnInterrupt(int) {
    if (g_interruptFlag != nullptr)
        g_interruptFlag->store(1);
}

// Async-signal-safe: atomics, sigaction and raise. Outside a
// StopAsInterrupt the signal gets the handling it had before the guard, and
// is delivered again once this handler returns.
void OnStopSignal(int number) {
    if (g_stopsAsInterrupt.load() > 0 && g_interruptFlag != nullptr) {
        int none = 0;
        g_stopSignal.compare_exchange_strong(none, number);
        g_interruptFlag->store(1);
        return;
    }
    for (size_t i = 0; i < 2; ++i) {
        if (kStopSignals[i] == number)
            ::sigaction(number, &g_stopPrevious[i], nullptr);
    }
    ::raise(number);
}

constexpr int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_heldPrevious[3];
struct sigaction g_pipePrevious;
std::atomic<int> g_heldSignal{0};
// Atomic: a handler running on one thread may read it while the hold ends
// on another (a lock-free pointer is safe to load in a handler).
std::atomic<const char*> g_holdNotice{nullptr};

// Async-signal-safe: atomic operations and one write(2).
void OnHeldSignal(int number) {
    int none = 0;
    const char* notice = nullptr;
    if (g_heldSignal.compare_exchange_strong(none, number) &&
        (notice = g_holdNotice.load()) != nullptr) {
        const ssize_t written = ::write(STDERR_FILENO, notice, std::strlen(notice));
        (void)written;  // nowhere left to say it
    }
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (stream == nullptr || ::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

InterruptGuard::InterruptGuard(std::atomic<int32_t>* flag) {
    g_interruptFlag = flag;
    g_stopSignal.store(0);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_previousAction);
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < 2; ++i)
        ::sigaction(kStopSignals[i], &action, &g_stopPrevious[i]);
}

InterruptGuard::~InterruptGuard() {
    for (size_t i = 0; i < 2; ++i)
        ::sigaction(kStopSignals[i], &g_stopPrevious[i], nullptr);
    ::sigaction(SIGINT, &g_previousAction, nullptr);
    g_interruptFlag = nullptr;
}

int InterruptGuard::StopSignal() const {
    return g_stopSignal.load();
}

StopAsInterrupt::StopAsInterrupt() {
    g_stopsAsInterrupt.fetch_add(1);
}

StopAsInterrupt::~StopAsInterrupt() {
    g_stopsAsInterrupt.fetch_sub(1);
}

}  // namespace platform

namespace platform {

StopSignalHold::StopSignalHold(const char* notice) {
    g_heldSignal.store(0);
    g_holdNotice.store(notice);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnHeldSignal;
    // Every held signal is blocked while one is handled: the notice is
    // written once, whole.
    sigemptyset(&action.sa_mask);
    for (int number : kHeldSignals)
        sigaddset(&action.sa_mask, number);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < 3; ++i)
        ::sigaction(kHeldSignals[i], &action, &g_heldPrevious[i]);
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_pipePrevious);
}

StopSignalHold::~StopSignalHold() {
    ::sigaction(SIGPIPE, &g_pipePrevious, nullptr);
    for (size_t i = 0; i < 3; ++i)
        ::sigaction(kHeldSignals[i], &g_heldPrevious[i], nullptr);
    g_holdNotice.store(nullptr);
}

int StopSignalHold::HeldSignal() const {
    return g_heldSignal.load();
}

}  // namespace platform
