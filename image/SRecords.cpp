#include "image/SRecords.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "image/RecordText.h"

namespace image {
namespace {

// The address (or count) size of each record type; 0 for S4, which is no
// record of the format.
constexpr size_t kAddressSize[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// The record's bytes after "Sn", their count and sum checked; "" or why not.
std::string CheckRecord(std::string_view line, std::vector<uint8_t>* bytes) {
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
        return "is no S-record: it starts with " + CharacterText(line[0]) +
               (line[0] == 'S' && line.size() > 1 ? CharacterText(line[1]) : "") + ", not S0 to S9";
    if (std::string problem = DecodePairs(line, 2, bytes); !problem.empty())
        return problem;
    const size_t addressSize = kAddressSize[line[1] - '0'];
    if (addressSize == 0)
        return "is an S4 record, which the format does not have";
    if (bytes->empty() || bytes->size() < addressSize + 2)
        return "is too short for an S" + std::string(1, line[1]) + " record";
    if (bytes->size() != size_t{(*bytes)[0]} + 1)
        return "says " + std::to_string((*bytes)[0]) + " bytes follow its count and has " +
               std::to_string(bytes->size() - 1);
    const uint8_t sum = std::accumulate(bytes->begin(), bytes->end(), uint8_t{0});
    if (sum != 0xFF)
        return "has a bad checksum: " + ByteText(bytes->back()) + ", where " +
               ByteText(static_cast<uint8_t>(bytes->back() + 0xFF - sum)) + " is right";
    return "";
}

}  // namespace

ParsedImage ParseSRecords(std::string_view text) {
    RecordLines lines(text);
    ImageAssembler assembler;
    std::vector<uint8_t> bytes;
    std::string_view line;
    uint32_t number = 0, dataRecords = 0;
    bool ended = false;  // an end record came: only blank lines may follow
    while (lines.Next(&line, &number)) {
        if (ended)
            return ParsedImage::Fault(number, "follows the end record");
        if (std::string problem = CheckRecord(line, &bytes); !problem.empty())
            return ParsedImage::Fault(number, problem);
        const int type = line[1] - '0';
        const size_t addressSize = kAddressSize[type];
        const uint32_t address = BigEndian(bytes, 1, addressSize);
        if (type >= 1 && type <= 3) {
            const std::span<const uint8_t> data(bytes.data() + 1 + addressSize,
                                                bytes.size() - 2 - addressSize);
            if (!assembler.Add(address, data, number))
                return ParsedImage::Fault(number, "passes the end of 32-bit addresses");
            ++dataRecords;
        } else if ((type == 5 || type == 6) && address != dataRecords) {
            return ParsedImage::Fault(number, "counts " + std::to_string(address) +
                                                  " data records, where the file has " +
                                                  std::to_string(dataRecords));
        }
        ended = type >= 7;
    }
    // The end record is left out by tools that have no start address to
    // put in it (srec_cat among them): a file may end without one.
    return assembler.Finish(ImageFormat::SRecords);
}

namespace {

void AppendRecord(std::string* text, int type, uint32_t address, std::span<const uint8_t> data) {
    const size_t addressSize = kAddressSize[type];
    std::vector<uint8_t> record = {static_cast<uint8_t>(addressSize + data.size() + 1)};
    for (size_t i = addressSize; i-- > 0;)
        record.push_back(static_cast<uint8_t>(address >> (8 * i)));
    record.insert(record.end(), data.begin(), data.end());
    record.push_back(static_cast<uint8_t>(0xFF - std::accumulate(record.begin(), record.end(), 0)));
    text->push_back('S');
    text->push_back(static_cast<char>('0' + type));
    AppendPairs(text, record);
    text->push_back('\n');
}

}  // namespace

std::string WriteSRecords(uint32_t address, std::span<const uint8_t> bytes) {
    const uint64_t end = uint64_t{address} + bytes.size();
    const int dataType = end <= 0x10000 ? 1 : end <= 0x1000000 ? 2 : 3;
    std::string text;
    text.reserve(bytes.size() * 2 + bytes.size() / 32 * 14 + 64);
    AppendRecord(&text, 0, 0, {});
    uint32_t records = 0;
    for (size_t at = 0; at < bytes.size(); at += 32, ++records)
        AppendRecord(&text, dataType, static_cast<uint32_t>(address + at),
                     bytes.subspan(at, std::min<size_t>(32, bytes.size() - at)));
    if (records <= 0xFFFF)
        AppendRecord(&text, 5, records, {});
    else
        AppendRecord(&text, 6, records, {});
    AppendRecord(&text, 10 - dataType, 0, {});
    return text;
}

}  // namespace image
