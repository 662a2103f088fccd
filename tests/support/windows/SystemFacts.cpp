#include "tests/support/SystemFacts.h"

namespace testsys {

const bool kHasFifos = false;
// Names are UTF-16 there.
const bool kFileNamesAreBytes = false;
// A port is a COM name or a \\.\ path, never a folder.
const bool kPortsArePaths = false;

bool MakeFifo(const std::string&) {
    return false;
}

void ReleaseFifoOpener(const std::string&, void (*waitForCall)(void*), void* call) {
    waitForCall(call);
}

// Links need privileges there, and the file library does not tell a link
// from its target.
std::error_code MakeLink(const std::string&, const std::string&) {
    return std::make_error_code(std::errc::operation_not_supported);
}

}  // namespace testsys
