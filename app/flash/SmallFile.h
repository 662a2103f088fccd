// The whole of a small regular file (a key, a signature, a settings file),
// read without waiting on a pipe or a device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace flash {

enum class SmallFileProblem { None, Unreadable, TooLarge };

// The bytes of the file at path, at most limit of them; nullopt with
// *problem (when given) saying why.
std::optional<std::string> ReadSmallFile(const std::string& path, int64_t limit,
                                         SmallFileProblem* problem = nullptr);

}  // namespace flash
