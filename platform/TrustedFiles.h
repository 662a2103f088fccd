// Files that decide what may be flashed (the administrator's settings and
// the keys of trusted makers): where they live, and whether somebody other
// than their owner could have put them there.
#pragma once

#include <string>

namespace platform {

// The administrator's folder of a program: /etc/FOLDER on POSIX,
// %PROGRAMDATA%\Folder on Windows (the system's own place, never taken
// from the environment, which a user sets as he likes).
std::string SystemConfigFolder(const char* posixFolder, const char* windowsFolder);

// "" when only the file's owner (this user or the administrator) may change
// it; otherwise who else may, for people ("anyone may write it"). A link,
// or a file that cannot be looked at, is never trusted either.
std::string WhoElseMayWrite(const std::string& path);

}  // namespace platform
