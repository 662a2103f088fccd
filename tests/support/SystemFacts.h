// What the tests may expect of the system they run on; each system's folder
// of tests/support defines it, so no test asks which system it runs on.
#pragma once

#include <string>
#include <system_error>

namespace testsys {

// Named pipes in the file system.
extern const bool kHasFifos;
bool MakeFifo(const std::string& path);
// Opens the pipe's other end for a moment: a call blocked opening the pipe
// for a peer goes on. Returns once done() has returned.
void ReleaseFifoOpener(const std::string& path, void (*waitForCall)(void*), void* call);

// A symbolic link at link to target, or why there is none (where making
// one needs privileges, or the file library does not tell a link from its
// target, it is "not supported").
std::error_code MakeLink(const std::string& target, const std::string& link);

// File names are bytes, so a name that is not UTF-8 can be made and shown.
extern const bool kFileNamesAreBytes;
// A folder's path can be given where a port is asked for (ports are paths).
extern const bool kPortsArePaths;

}  // namespace testsys
