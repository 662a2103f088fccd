#include "package/PackageFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/FileAccess.h"

uint32_t GetFileSizeByName(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return 0;
    auto file = platform::ReadOnlyFile::Open(path, platform::FileShare::Read);
    if (!file)
        return 0;
    const int64_t size = file->Size();
    return size < 0 ? 0 : static_cast<uint32_t>(size & 0xFFFFFFFF);
}

bool CheckPackageFile(const char* path, PackageHeader* headerCopy) {
    auto file = platform::ReadOnlyFile::Open(path, platform::FileShare::Read);
    if (!file)
        return false;
    // The whole size, not its low 32 bits: a file of 4 GiB and N bytes must
    // not pass for its first N bytes.
    const int64_t fullSize = file->Size();
    if (fullSize <= 0 || static_cast<uint64_t>(fullSize) > kLargestPackageFile)
        return false;
    const uint32_t size = static_cast<uint32_t>(fullSize);

    // The file is summed as it streams in rather than held whole: the
    // verdict is the same and an oversized file costs no memory.
    PackageHeader header;
    uint32_t sum = 0;
    uint32_t offset = 0;
    std::vector<uint8_t> chunk(64 * 1024);
    while (offset < size) {
        const uint32_t want =
            std::min<uint32_t>(size - offset, static_cast<uint32_t>(chunk.size()));
        uint32_t got = 0;
        if (!file->Read(chunk.data(), want, &got) || got != want)
            return false;  // not read whole: the header copy stays as it was
        if (offset < kPackageHeaderSize) {
            const uint32_t headerPart = std::min<uint32_t>(got, kPackageHeaderSize - offset);
            std::memcpy(header.Bytes + offset, chunk.data(), headerPart);
        }
        const uint32_t sumFrom = offset >= kHeaderSumStart ? 0 : kHeaderSumStart - offset;
        if (sumFrom < got)
            sum = AddToHeaderSum(sum, chunk.data() + sumFrom, got - sumFrom);
        offset += got;
    }
    if (headerCopy != nullptr)
        *headerCopy = header;
    return size >= kPackageHeaderSize && header.HasMagic() && sum == header.HeaderSum();
}
