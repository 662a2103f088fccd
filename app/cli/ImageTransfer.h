// Writing a placed memory image into the device and comparing the device
// with it, part by part: the gaps of a record file are neither written nor
// compared.
#pragma once

#include "app/cli/DeviceFinding.h"
#include "app/cli/ImageLoading.h"

namespace cli {

int WriteImage(Session& s, const Found& found, const PlacedImage& placed);
int VerifyImage(Session& s, const Found& found, const PlacedImage& placed);

// write --watch: writes and verifies the image, then writes again what
// changed each time the file is written anew, until Ctrl+C.
int ReloadOnChange(Session& s, const Found& found, const PlacedImage& placed);

// Bytes of the device from one address on.
struct DeviceRange {
    uint32_t address = 0;
    std::span<const uint8_t> bytes;
};

// Writes the ranges in a row under one bar; QX_S_OK or the first failure.
int WriteRanges(Session& s, const std::vector<DeviceRange>& ranges, ui::ProgressBar* progress);

// How many bytes the ranges hold together.
uint64_t TotalBytes(const std::vector<DeviceRange>& ranges);

// The parts of the image where they go in the device.
std::vector<DeviceRange> RangesOf(const PlacedImage& placed);

}  // namespace cli
