// libFuzzer entry: Intel HEX files.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string broken = fuzz::CheckIntelHexText(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "fuzz: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
