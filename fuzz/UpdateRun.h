// The update-run mode of the command-line target: `brevik update` against a
// virtual device while a signal comes or the output goes away at a block
// the input chooses. The upload must run to its end and the exit code say
// what happened. "" when it did; else what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

std::string CheckUpdateRun(const uint8_t* data, size_t size);

}  // namespace fuzz
