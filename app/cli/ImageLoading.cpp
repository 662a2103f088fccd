#include "app/cli/ImageLoading.h"

#include <filesystem>

#include "app/cli/MemoryAccess.h"
#include "image/ImageFile.h"
#include "platform/FileAccess.h"

namespace cli {

ImageReading ParseImageFile(const CliArguments& args, const std::string& path,
                            const std::vector<uint8_t>& bytes) {
    ImageReading reading;
    const std::optional<image::ImageFormat> forced = image::FormatOfWord(args.format);
    const image::ParsedImage parsed = forced ? image::ReadImageAs(*forced, bytes)
                                             : image::ReadImage(bytes, image::FormatOfName(path));
    if (!parsed.image) {
        reading.problem =
            (parsed.line > 0 ? "line " + std::to_string(parsed.line) + ": " : "") + parsed.problem;
        return reading;
    }
    reading.image = parsed.image;
    uint32_t fill = 0;
    if (!args.fill.empty() && ParseCliNumber(args.fill, &fill))
        reading.image = reading.image->Filled(static_cast<uint8_t>(fill));
    return reading;
}

std::optional<PlacedImage> LoadPlacedImage(Session& s, uint32_t address, const std::string& path,
                                           int* failure) {
    const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(s, path, failure);
    if (!bytes)
        return std::nullopt;
    ImageReading reading = ParseImageFile(s.args, path, *bytes);
    if (!reading.image) {
        *failure =
            s.Fail(kCliFileError, path + ": " + reading.problem +
                                      (s.args.command == "info" ? "" : "; nothing was sent"));
        return std::nullopt;
    }
    if (uint64_t{address} + reading.image->Span() > 0x100000000ull) {
        *failure = s.Fail(kCliUsageError, path + " does not fit below 4 GiB from " + Hex(address));
        return std::nullopt;
    }
    return PlacedImage{std::move(*reading.image), address, path};
}

std::string ImageProblemOnDevice(const BKQuillex& device, const PlacedImage& placed) {
    const uint64_t end = MemoryEnd(device);
    const image::RecordPlace* beyond =
        placed.image.FirstRecordBeyond(end > placed.address ? end - placed.address : 0);
    if (beyond != nullptr) {
        const uint32_t at = placed.address + (beyond->address - placed.image.Lowest());
        return placed.path + ": line " + std::to_string(beyond->line) + ": " +
               RangeProblem(device, at, beyond->size);
    }
    for (const image::Chunk& chunk : placed.image.chunks) {
        const std::string problem = RangeProblem(device, placed.DeviceAddress(chunk),
                                                 static_cast<uint32_t>(chunk.bytes.size()));
        if (!problem.empty())
            return (placed.image.chunks.size() > 1 ? placed.path + ": " : "") + problem;
    }
    return "";
}

std::optional<int> ImageOutsideMemory(Session& s, const PlacedImage& placed) {
    const std::string problem = ImageProblemOnDevice(s.device, placed);
    if (problem.empty())
        return std::nullopt;
    s.device.ClosePort();
    return s.Fail(kCliUsageError, problem + "; nothing was transferred");
}

bool IsRecordFile(const std::string& path) {
    if (image::FormatOfName(path).value_or(image::ImageFormat::Binary) !=
        image::ImageFormat::Binary)
        return true;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(platform::FilePath(path), ec))
        return false;
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    uint8_t start[512];
    uint32_t got = 0;
    return file && file->Read(start, sizeof start, &got) &&
           image::FormatOfContent({start, got}) != image::ImageFormat::Binary;
}

void DescribeImage(Session& s, const std::string& path, const image::MemoryImage& image) {
    const uint64_t last = image.End() - 1;
    s.doc["image"] = {{"path", path},
                      {"format", image::FormatName(image.format)},
                      {"lowest", image.Lowest()},
                      {"highest", last},
                      {"bytes", image.ByteCount()},
                      {"chunks", image.chunks.size()}};
    s.Say("%s", path.c_str());
    s.Say("  format        %s", image::FormatName(image.format));
    s.Say("  addresses     0x%X..0x%llX (%llu bytes)", image.Lowest(),
          static_cast<unsigned long long>(last), static_cast<unsigned long long>(image.Span()));
    s.Say("  data          %llu bytes in %llu part%s",
          static_cast<unsigned long long>(image.ByteCount()),
          static_cast<unsigned long long>(image.chunks.size()),
          image.chunks.size() == 1 ? "" : "s (the gaps are left as they are, unless --fill)");
}

}  // namespace cli
