#include "image/IntelHex.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "image/RecordText.h"

namespace image {
namespace {

enum RecordType : uint8_t {
    kData = 0,
    kEndOfFile = 1,
    kSegmentBase = 2,
    kSegmentStart = 3,
    kLinearBase = 4,
    kLinearStart = 5,
};

// The record's bytes after ':', their count and sum checked; "" or why not.
std::string CheckRecord(std::string_view line, std::vector<uint8_t>* bytes) {
    if (line.front() != ':')
        return "is no Intel HEX record: it starts with " + CharacterText(line.front()) +
               ", not ':'";
    if (std::string problem = DecodePairs(line, 1, bytes); !problem.empty())
        return problem;
    if (bytes->size() < 5)
        return "is too short for an Intel HEX record";
    if (bytes->size() != size_t{(*bytes)[0]} + 5)
        return "says " + std::to_string((*bytes)[0]) + " data bytes and has " +
               std::to_string(bytes->size() - 5);
    const uint8_t sum = std::accumulate(bytes->begin(), bytes->end(), uint8_t{0});
    if (sum != 0)
        return "has a bad checksum: " + ByteText(bytes->back()) + ", where " +
               ByteText(static_cast<uint8_t>(bytes->back() - sum)) + " is right";
    return "";
}

// The length a record of a type other than data must have; -1 for a type
// Intel HEX does not have.
int LengthOfType(uint8_t type) {
    switch (type) {
        case kEndOfFile:
            return 0;
        case kSegmentBase:
        case kLinearBase:
            return 2;
        case kSegmentStart:
        case kLinearStart:
            return 4;
        default:
            return -1;
    }
}

}  // namespace

ParsedImage ParseIntelHex(std::string_view text) {
    RecordLines lines(text);
    ImageAssembler assembler;
    std::vector<uint8_t> bytes;
    uint32_t base = 0;
    std::string_view line;
    uint32_t number = 0;
    bool ended = false;
    while (lines.Next(&line, &number)) {
        if (ended)
            return ParsedImage::Fault(number, "follows the end-of-file record");
        if (std::string problem = CheckRecord(line, &bytes); !problem.empty())
            return ParsedImage::Fault(number, problem);
        const uint8_t type = bytes[3];
        const uint32_t offset = BigEndian(bytes, 1, 2);
        const std::span<const uint8_t> data(bytes.data() + 4, bytes.size() - 5);
        if (type == kData) {
            if (!assembler.Add(base + offset, data, number))
                return ParsedImage::Fault(number, "passes the end of 32-bit addresses");
            continue;
        }
        const int length = LengthOfType(type);
        if (length < 0)
            return ParsedImage::Fault(number, "has record type " + ByteText(type).substr(2) +
                                                  ", which Intel HEX does not have (00 to 05)");
        if (static_cast<int>(data.size()) != length)
            return ParsedImage::Fault(
                number, "is a type " + ByteText(type).substr(2) + " record of the wrong length");
        if (type == kSegmentBase)
            base = BigEndian(bytes, 4, 2) << 4;
        else if (type == kLinearBase)
            base = BigEndian(bytes, 4, 2) << 16;
        ended = type == kEndOfFile;
    }
    if (!ended)
        return ParsedImage::Fault(lines.LastNumber(),
                                  "ends the file without the end-of-file record (:00000001FF): "
                                  "the file is cut short");
    return assembler.Finish(ImageFormat::IntelHex);
}

namespace {

void AppendRecord(std::string* text, uint8_t type, uint16_t offset, std::span<const uint8_t> data) {
    std::vector<uint8_t> record = {static_cast<uint8_t>(data.size()),
                                   static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset),
                                   type};
    record.insert(record.end(), data.begin(), data.end());
    record.push_back(static_cast<uint8_t>(-std::accumulate(record.begin(), record.end(), 0)));
    text->push_back(':');
    AppendPairs(text, record);
    text->push_back('\n');
}

}  // namespace

std::string WriteIntelHex(uint32_t address, std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2 + bytes.size() / 16 * 12 + 16);
    uint32_t upper = 0;
    for (size_t at = 0; at < bytes.size();) {
        const uint64_t here = uint64_t{address} + at;
        if ((here >> 16) != upper) {
            upper = static_cast<uint32_t>(here >> 16);
            const uint8_t base[] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
            AppendRecord(&text, kLinearBase, 0, base);
        }
        // A record never crosses a 64 KiB boundary: its offset would wrap.
        const size_t take = std::min<uint64_t>({16, bytes.size() - at, 0x10000 - (here & 0xFFFF)});
        AppendRecord(&text, kData, static_cast<uint16_t>(here), bytes.subspan(at, take));
        at += take;
    }
    AppendRecord(&text, kEndOfFile, 0, {});
    return text;
}

}  // namespace image
