#include "platform/TrustedFiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string SystemConfigFolder(const char* posixFolder, const char*) {
    return std::string("/etc/") + posixFolder;
}

std::string WhoElseMayWrite(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return "it cannot be looked at";
    if (S_ISLNK(status.st_mode))
        return "it is a link, which others may point elsewhere";
    if (status.st_uid != 0 && status.st_uid != ::geteuid())
        return "it belongs to another user (uid " + std::to_string(status.st_uid) + ")";
    if (status.st_mode & S_IWOTH)
        return "anyone may write it";
    if ((status.st_mode & S_IWGRP) && status.st_gid != 0)
        return "its group (gid " + std::to_string(status.st_gid) + ") may write it";
    return "";
}

}  // namespace platform
