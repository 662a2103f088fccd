#include "image/MemoryImage.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace image {

const char* FormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Binary:
            return "binary";
        case ImageFormat::IntelHex:
            return "Intel HEX";
        case ImageFormat::SRecords:
            return "S-records";
    }
    return "binary";
}

uint64_t MemoryImage::ByteCount() const {
    uint64_t count = 0;
    for (const Chunk& chunk : chunks)
        count += chunk.bytes.size();
    return count;
}

const RecordPlace* MemoryImage::FirstRecordBeyond(uint64_t relativeEnd) const {
    const RecordPlace* first = nullptr;
    for (const RecordPlace& record : records) {
        if (uint64_t{record.address} - Lowest() + record.size > relativeEnd &&
            (first == nullptr || record.line < first->line))
            first = &record;
    }
    return first;
}

MemoryImage MemoryImage::Filled(uint8_t fill) const {
    MemoryImage filled = *this;
    Chunk whole{Lowest(), std::vector<uint8_t>(static_cast<size_t>(Span()), fill)};
    for (const Chunk& chunk : chunks)
        std::copy(chunk.bytes.begin(), chunk.bytes.end(),
                  whole.bytes.begin() + (chunk.address - Lowest()));
    filled.chunks = {std::move(whole)};
    return filled;
}

bool ImageAssembler::Add(uint32_t address, std::span<const uint8_t> bytes, uint32_t line) {
    if (uint64_t{address} + bytes.size() > 0x100000000ull)
        return false;
    if (bytes.empty())
        return true;
    records_.push_back({address, static_cast<uint32_t>(bytes.size()), line});
    offsets_.push_back(data_.size());
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return true;
}

namespace {

std::string AddressText(uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(address));
    return text;
}

}  // namespace

ParsedImage ImageAssembler::Finish(ImageFormat format) {
    if (records_.empty())
        return ParsedImage::Fault(0, "holds no data records");
    std::vector<size_t> order(records_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    // Stable: records in file order stay so, which keeps the earlier line
    // first in an overlap.
    std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
        return records_[a].address < records_[b].address;
    });
    const uint32_t lowest = records_[order.front()].address;
    MemoryImage image;
    image.format = format;
    for (size_t k = 0; k < order.size(); ++k) {
        const RecordPlace& record = records_[order[k]];
        const auto bytes = data_.begin() + static_cast<std::ptrdiff_t>(offsets_[order[k]]);
        if (!image.chunks.empty() && record.address < image.chunks.back().End()) {
            const RecordPlace& before = image.records.back();
            const RecordPlace& later = record.line > before.line ? record : before;
            const RecordPlace& earlier = record.line > before.line ? before : record;
            return ParsedImage::Fault(later.line,
                                      "overlaps line " + std::to_string(earlier.line) + " at " +
                                          AddressText(std::max(record.address, before.address)));
        }
        if (uint64_t{record.address} + record.size - lowest > kLargestImageSpan)
            return ParsedImage::Fault(record.line,
                                      "lies more than 16 MiB above the lowest "
                                      "address, " +
                                          AddressText(lowest));
        if (image.chunks.empty() || record.address != image.chunks.back().End())
            image.chunks.push_back({record.address, {}});
        image.chunks.back().bytes.insert(image.chunks.back().bytes.end(), bytes,
                                         bytes + record.size);
        image.records.push_back(record);
    }
    ParsedImage parsed;
    parsed.image = std::move(image);
    return parsed;
}

}  // namespace image
