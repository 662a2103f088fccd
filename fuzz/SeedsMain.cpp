// brevik-fuzz-seeds DIR: writes the seed inputs of every fuzz target into
// DIR/replies, DIR/package, DIR/cli, DIR/capture, DIR/signature,
// DIR/intelhex and DIR/srecords.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/SeedMaker.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brevik-fuzz-seeds DIR\n");
        return 2;
    }
    for (const char* target :
         {"replies", "package", "cli", "capture", "signature", "intelhex", "srecords"}) {
        const std::filesystem::path folder = std::filesystem::path(argv[1]) / target;
        std::filesystem::create_directories(folder);
        for (const fuzz::Seed& seed : fuzz::MakeSeeds(target)) {
            std::ofstream out(folder / seed.name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(seed.input.data()),
                      static_cast<std::streamsize>(seed.input.size()));
        }
    }
    return 0;
}
