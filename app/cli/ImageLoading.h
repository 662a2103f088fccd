// Memory image files for the brevik tool's write, verify, info and
// write --watch: read once, parsed in the format the content (or --format)
// says, gaps filled on --fill, and placed so that ADDRESS is where the
// file's first byte goes: for a record file its lowest address, the other
// records keeping their distance from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/cli/CliSession.h"
#include "image/MemoryImage.h"

namespace cli {

struct PlacedImage {
    image::MemoryImage image;
    uint32_t address = 0;  // where the image's lowest address goes
    std::string path;
    uint32_t DeviceAddress(const image::Chunk& chunk) const {
        return address + (chunk.address - image.Lowest());
    }
};

// The image file as --format and --fill ask; "" or what is wrong with the
// file (its line first: "line 12: has a bad checksum: ...").
struct ImageReading {
    std::optional<image::MemoryImage> image;
    std::string problem;
};
ImageReading ParseImageFile(const CliArguments& args, const std::string& path,
                            const std::vector<uint8_t>& bytes);

// Reads and parses the file; a failure is said (exit 8) and its exit code
// put in *failure. address: where the lowest byte goes.
std::optional<PlacedImage> LoadPlacedImage(Session& s, uint32_t address, const std::string& path,
                                           int* failure);

// Why the device cannot take the image (the first record that leaves its
// memory named by its line), or "".
std::string ImageProblemOnDevice(const BKQuillex& device, const PlacedImage& placed);

// Refuses, once the device is known, an image that leaves its memory,
// naming the first record that does.
std::optional<int> ImageOutsideMemory(Session& s, const PlacedImage& placed);

// Whether path names an Intel HEX or S-record file, by its name or its
// first line.
bool IsRecordFile(const std::string& path);

// What a record file holds, for info: format, address range, size.
void DescribeImage(Session& s, const std::string& path, const image::MemoryImage& image);

}  // namespace cli
