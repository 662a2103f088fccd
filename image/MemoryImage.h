// A memory image as ROM tools write it: bytes at addresses, with gaps
// between them, read from a raw binary, Intel HEX or Motorola S-record file.
// Parsing keeps the line of each data record, so that a record the device
// cannot take is named by its line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace image {

enum class ImageFormat { Binary, IntelHex, SRecords };

// "binary", "Intel HEX", "S-records".
const char* FormatName(ImageFormat format);

// Consecutive bytes from one address on.
struct Chunk {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    uint64_t End() const { return uint64_t{address} + bytes.size(); }
};

// Where a data record put its bytes, and the line it stood on.
struct RecordPlace {
    uint32_t address = 0;
    uint32_t size = 0;
    uint32_t line = 0;
};

// A record file larger than any device memory is a mistake, as is one
// whose records lie further apart than that.
constexpr uint64_t kLargestImageSpan = 16 * 1024 * 1024;

struct MemoryImage {
    ImageFormat format = ImageFormat::Binary;
    std::vector<Chunk> chunks;         // by address, apart from each other, never empty
    std::vector<RecordPlace> records;  // the data records by address; none for a binary
    uint32_t Lowest() const { return chunks.front().address; }
    uint64_t End() const { return chunks.back().End(); }  // one past the highest byte
    uint64_t Span() const { return End() - Lowest(); }
    uint64_t ByteCount() const;
    // The record that reaches furthest past relativeEnd (an offset from the
    // lowest address), counted from the lowest; null when none does.
    const RecordPlace* FirstRecordBeyond(uint64_t relativeEnd) const;
    // The image as one chunk, its gaps holding fill.
    MemoryImage Filled(uint8_t fill) const;
};

// What reading a file gave: the image, or what is wrong and on which line
// (0 when the fault is the file's as a whole).
struct ParsedImage {
    std::optional<MemoryImage> image;
    uint32_t line = 0;
    std::string problem;
    static ParsedImage Fault(uint32_t line, std::string problem) {
        ParsedImage p;
        p.line = line;
        p.problem = std::move(problem);
        return p;
    }
};

// Puts data records together: sorts them, refuses two that share an
// address, joins the ones that touch into chunks.
class ImageAssembler {
  public:
    // False when the record would pass the end of 32-bit addresses.
    bool Add(uint32_t address, std::span<const uint8_t> bytes, uint32_t line);
    ParsedImage Finish(ImageFormat format);

  private:
    std::vector<RecordPlace> records_;
    std::vector<uint64_t> offsets_;  // of each record's bytes in data_
    std::vector<uint8_t> data_;
};

}  // namespace image
