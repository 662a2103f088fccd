// Windows has no pseudo-terminals: the virtual device serves on a loopback
// line there, and a Linux brevik-sim serves programs run under Wine.
#include "platform/PseudoTerminal.h"

namespace platform {

std::unique_ptr<PseudoTerminal> PseudoTerminal::Create() {
    return nullptr;
}

PseudoTerminal::~PseudoTerminal() = default;

int PseudoTerminal::Read(uint8_t*, size_t, int) {
    return kClosed;
}

bool PseudoTerminal::Write(const uint8_t*, size_t) {
    return false;
}

uint32_t PseudoTerminal::HostBaudRate() const {
    return 0;
}

void PseudoTerminal::Interrupt() {}

void PseudoTerminal::HangUp() {}

}  // namespace platform
