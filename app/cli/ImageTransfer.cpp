#include "app/cli/ImageTransfer.h"

#include <numeric>

#include "app/cli/MemoryAccess.h"
#include "image/ImageFile.h"

namespace cli {
namespace {

// "0xF000..0xFFFF" over every part.
std::string SpanText(const std::vector<DeviceRange>& ranges) {
    const DeviceRange& last = ranges.back();
    return Hex(ranges.front().address) + ".." +
           Hex(static_cast<uint32_t>(last.address + last.bytes.size() - 1));
}

Json TransferJson(const PlacedImage& placed, uint64_t bytes) {
    return {{"address", placed.address},
            {"size", bytes},
            {"file", placed.path},
            {"format", image::FormatName(placed.image.format)},
            {"parts", placed.image.chunks.size()}};
}

}  // namespace

uint64_t TotalBytes(const std::vector<DeviceRange>& ranges) {
    return std::accumulate(ranges.begin(), ranges.end(), uint64_t{0},
                           [](uint64_t sum, const DeviceRange& r) { return sum + r.bytes.size(); });
}

std::vector<DeviceRange> RangesOf(const PlacedImage& placed) {
    std::vector<DeviceRange> ranges;
    for (const image::Chunk& chunk : placed.image.chunks)
        ranges.push_back({placed.DeviceAddress(chunk), chunk.bytes});
    return ranges;
}

int WriteRanges(Session& s, const std::vector<DeviceRange>& ranges, ui::ProgressBar* progress) {
    SharedProgress shared(progress, TotalBytes(ranges));
    for (const DeviceRange& range : ranges) {
        const int result =
            s.device.WriteBlock(range.bytes.data(), static_cast<uint32_t>(range.bytes.size()),
                                range.address, TransferOptions(s), shared.Next(range.bytes.size()));
        if (result != QX_S_OK)
            return result;
    }
    return QX_S_OK;
}

int WriteImage(Session& s, const Found& found, const PlacedImage& placed) {
    const std::vector<DeviceRange> ranges = RangesOf(placed);
    const uint64_t bytes = TotalBytes(ranges);
    const auto lowLatency = HoldLowLatency(s, found.port);
    s.BeginWork(bytes);
    const int result = WriteRanges(s, ranges, s.progress);
    s.EndWork(result == QX_S_OK);
    if (result != QX_S_OK)
        return TransferFailed(s, result, "write");
    s.device.ClosePort();
    s.doc["write"] = TransferJson(placed, bytes);
    if (placed.image.format == image::ImageFormat::Binary)
        s.Say("Wrote %llu bytes to 0x%X", static_cast<unsigned long long>(bytes), placed.address);
    else
        s.Say(
            "Wrote %llu bytes of %s (%s) to %s%s", static_cast<unsigned long long>(bytes),
            placed.path.c_str(), image::FormatName(placed.image.format), SpanText(ranges).c_str(),
            ranges.size() > 1 ? (", in " + std::to_string(ranges.size()) + " parts").c_str() : "");
    return kCliSucceeded;
}

// Read back and compared here, so that the first difference can be named.
int VerifyImage(Session& s, const Found& found, const PlacedImage& placed) {
    const std::vector<DeviceRange> ranges = RangesOf(placed);
    const uint64_t bytes = TotalBytes(ranges);
    const auto lowLatency = HoldLowLatency(s, found.port);
    s.BeginWork(bytes);
    SharedProgress shared(s.progress, bytes);
    uint64_t differing = 0;
    std::optional<uint32_t> first;
    uint8_t deviceByte = 0, fileByte = 0;
    for (const DeviceRange& range : ranges) {
        std::vector<uint8_t> device(range.bytes.size());
        const int result = s.device.ReadBlock(device.data(), static_cast<uint32_t>(device.size()),
                                              range.address, 0, shared.Next(device.size()));
        if (result < 0) {
            s.EndWork(false);
            return TransferFailed(s, result, "verify");
        }
        for (size_t i = 0; i < device.size(); ++i) {
            if (device[i] == range.bytes[i])
                continue;
            ++differing;
            if (!first) {
                first = static_cast<uint32_t>(range.address + i);
                deviceByte = device[i], fileByte = range.bytes[i];
            }
        }
    }
    s.EndWork(true);
    s.device.ClosePort();
    const std::string& path = placed.path;
    s.doc["verify"] = TransferJson(placed, bytes);
    s.doc["verify"]["differing_bytes"] = differing;
    if (!first) {
        s.Say("Device memory at 0x%X holds the %llu bytes of %s", placed.address,
              static_cast<unsigned long long>(bytes), path.c_str());
        return kCliSucceeded;
    }
    s.doc["verify"]["first_difference"] = *first;
    // The path goes in whole, however long: it is no part of a fixed buffer.
    char counts[120];
    std::snprintf(counts, sizeof counts,
                  ": %llu bytes differ, the first at 0x%X (device 0x%02X, file 0x%02X)",
                  static_cast<unsigned long long>(differing), *first, deviceByte, fileByte);
    return s.Fail(kCliFailed,
                  "device memory at " + Hex(placed.address) + " differs from " + path + counts);
}

}  // namespace cli
