#include "image/ImageFile.h"

#include <algorithm>
#include <cctype>

#include "image/IntelHex.h"
#include "image/SRecords.h"

namespace image {

std::optional<ImageFormat> FormatOfName(std::string_view path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    std::string extension(path.substr(dot + 1));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "hex" || extension == "ihx")
        return ImageFormat::IntelHex;
    for (const char* name : {"s19", "s28", "s37", "srec", "mot"})
        if (extension == name)
            return ImageFormat::SRecords;
    if (extension == "bin")
        return ImageFormat::Binary;
    return std::nullopt;
}

ImageFormat FormatOfContent(std::span<const uint8_t> bytes) {
    // The first line, blank lines and a UTF-8 mark aside; a record line has
    // at least eight hexadecimal digits after its start (":" or "Sn").
    size_t at = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        at = 3;
    while (at < bytes.size() && (bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;
    size_t end = at;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
        ++end;
    const auto hexFrom = [&](size_t from) {
        return end - from >= 8 && std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                              bytes.begin() + static_cast<std::ptrdiff_t>(end),
                                              [](uint8_t c) { return std::isxdigit(c) != 0; });
    };
    if (at < end && bytes[at] == ':' && hexFrom(at + 1))
        return ImageFormat::IntelHex;
    if (end - at > 2 && bytes[at] == 'S' && std::isdigit(bytes[at + 1]) && hexFrom(at + 2))
        return ImageFormat::SRecords;
    return ImageFormat::Binary;
}

ParsedImage ReadImage(std::span<const uint8_t> bytes, std::optional<ImageFormat> named) {
    const ImageFormat format = FormatOfContent(bytes);
    return ReadImageAs(format == ImageFormat::Binary && named ? *named : format, bytes);
}

ParsedImage ReadImageAs(ImageFormat format, std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // A UTF-8 mark some editors put first is no record's part.
    const std::string_view records = text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
    switch (format) {
        case ImageFormat::IntelHex:
            return ParseIntelHex(records);
        case ImageFormat::SRecords:
            return ParseSRecords(records);
        case ImageFormat::Binary:
            break;
    }
    if (bytes.empty())
        return ParsedImage::Fault(0, "is empty");
    if (bytes.size() > kLargestImageSpan)
        return ParsedImage::Fault(0, "is larger than 16 MiB");
    ParsedImage parsed;
    parsed.image = MemoryImage{
        ImageFormat::Binary, {Chunk{0, std::vector<uint8_t>(bytes.begin(), bytes.end())}}, {}};
    return parsed;
}

std::string WriteImage(ImageFormat format, uint32_t address, std::span<const uint8_t> bytes) {
    switch (format) {
        case ImageFormat::IntelHex:
            return WriteIntelHex(address, bytes);
        case ImageFormat::SRecords:
            return WriteSRecords(address, bytes);
        case ImageFormat::Binary:
            break;
    }
    return std::string(bytes.begin(), bytes.end());
}

std::optional<ImageFormat> FormatOfWord(std::string_view word) {
    if (word == "ihex")
        return ImageFormat::IntelHex;
    if (word == "srec")
        return ImageFormat::SRecords;
    if (word == "bin")
        return ImageFormat::Binary;
    return std::nullopt;
}

}  // namespace image
