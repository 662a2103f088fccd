// Where a chain of symbolic links at a path ends, followed link by link
// with readlink (internal to platform/linux). The C library's realpath would
// do the same; this keeps to one call that every file layer (the system's,
// or a test's fake device tree) answers the same way from many threads.
#pragma once

#include <filesystem>

namespace platform {

// The path the links end at (the path itself when it is no link); empty
// when a link cannot be read or the chain is longer than the system allows.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

}  // namespace platform
