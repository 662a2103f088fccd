/// @file
/// The program's command line as UTF-8, as every text inside the programs
/// is. On Windows it is taken from the wide command line: the narrow argv is
/// in the ANSI code page, where a file name outside it arrives with '?'.
#pragma once

#include <string>
#include <vector>

namespace platform {

class ProgramArguments {
  public:
    /// argc and argv as main got them (used as they are on POSIX, where
    /// they are the bytes the caller gave).
    ProgramArguments(int argc, char** argv);
    ProgramArguments(const ProgramArguments&) = delete;
    ProgramArguments& operator=(const ProgramArguments&) = delete;

    int Count() const { return static_cast<int>(texts_.size()); }
    /// argv-style: Count() texts, then a null.
    char** Values() { return pointers_.data(); }

  private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

}  // namespace platform
