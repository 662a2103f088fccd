#include "app/package/PackageReport.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/FileAccess.h"

std::string PackageReport::Problem() const {
    switch (access) {
        case Access::Missing:
            return "no such file";
        case Access::Directory:
            return "a folder, not a package file";
        case Access::NotARegularFile:
            return "not a regular file";
        case Access::Unreadable:
            return "cannot be read";
        case Access::Readable:
            break;
    }
    if (size < kPackageHeaderSize)
        return "shorter than a package header (" + std::to_string(size) + " bytes)";
    if (size > kLargestPackageFile)
        return "a body of " + std::to_string(BodySize()) + " bytes, more than 65536";
    if (!magic)
        return "not a firmware package (no \"ZRFW\" at its start)";
    if (!sizeFits)
        return "a header without a body";
    if (!HeaderSumRight())
        return "damaged: its header sum is wrong";
    if (!bodyCheckByte)
        return "damaged: its body check byte is wrong";
    return "";
}

PackageReport ExaminePackage(const std::string& path) {
    PackageReport p;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        p.access = PackageReport::Access::Missing;
        return p;
    }
    if (std::filesystem::is_directory(status)) {
        p.access = PackageReport::Access::Directory;
        return p;
    }
    if (!std::filesystem::is_regular_file(status)) {
        p.access = PackageReport::Access::NotARegularFile;
        return p;
    }
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    const int64_t size = file ? file->Size() : -1;
    if (size < 0) {
        p.access = PackageReport::Access::Unreadable;
        return p;
    }
    p.access = PackageReport::Access::Readable;
    p.size = static_cast<uint64_t>(size);
    p.sizeFits = p.size > kPackageHeaderSize && p.size <= kLargestPackageFile;
    if (p.size < kPackageHeaderSize || p.size > kLargestPackageFile)
        return p;  // not read: no package is that size
    std::vector<uint8_t> bytes(static_cast<size_t>(p.size));
    uint32_t got = 0;
    if (!file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got) ||
        got != bytes.size()) {
        p.access = PackageReport::Access::Unreadable;
        return p;
    }
    std::memcpy(p.header.Bytes, bytes.data(), kPackageHeaderSize);
    p.magic = p.header.HasMagic();
    p.storedSum = p.header.HeaderSum();
    p.computedSum =
        AddToHeaderSum(0, bytes.data() + kHeaderSumStart, bytes.size() - kHeaderSumStart);
    p.bodyCheckByte = p.sizeFits && BodyCheckByteValid(bytes.data() + kPackageHeaderSize,
                                                       bytes.size() - kPackageHeaderSize);
    return p;
}
