#include "platform/Console.h"

#include <signal.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int32_t>* g_interruptFlag = nullptr;
struct sigaction g_previousAction;

void OnInterrupt(int) {
    if (g_interruptFlag != nullptr)
        g_interruptFlag->store(1);
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}

InterruptGuard::InterruptGuard(std::atomic<int32_t>* flag) {
    g_interruptFlag = flag;
    struct sigaction action;
    action.sa_handler = OnInterrupt;
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_previousAction);
}

InterruptGuard::~InterruptGuard() {
    ::sigaction(SIGINT, &g_previousAction, nullptr);
    g_interruptFlag = nullptr;
}

}  // namespace platform
