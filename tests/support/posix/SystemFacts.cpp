#include "tests/support/SystemFacts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace testsys {

const bool kHasFifos = true;
const bool kFileNamesAreBytes = true;
const bool kPortsArePaths = true;

bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

void ReleaseFifoOpener(const std::string& path, void (*waitForCall)(void*), void* call) {
    // A reader waiting in open() for a writer is let through by one.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    waitForCall(call);
    if (fd >= 0)
        ::close(fd);
}

std::error_code MakeLink(const std::string& target, const std::string& link) {
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return error;
}

}  // namespace testsys
