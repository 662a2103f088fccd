// Seed inputs for the fuzz targets: the device replies of every command are
// taken from the virtual device through a serial tap, so each seed is a real
// exchange the fuzzer then spoils.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

struct Seed {
    std::string name;
    std::vector<uint8_t> input;
};

// Seeds of the target "replies", "package", "cli" or "capture".
std::vector<Seed> MakeSeeds(const std::string& target);

}  // namespace fuzz
