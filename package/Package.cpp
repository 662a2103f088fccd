#include "package/Package.h"

#include <algorithm>
#include <cstring>
#include <utility>

bool Package::Selectable() const {
    return access == Access::Readable && checked && size >= kPackageHeaderSize && magic &&
           HeaderSumRight();
}

std::string Package::Problem() const {
    switch (access) {
        case Access::Missing:
            return "no such file";
        case Access::Directory:
            return "a folder, not a package file";
        case Access::NotARegularFile:
            return "not a regular file";
        case Access::Unreadable:
            return "cannot be read";
        case Access::InUse:
            return "in use: a firmware update is running from it (or another program holds it); "
                   "try again when it has ended";
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

Package PackageFromBytes(std::vector<uint8_t> bytes) {
    Package p;
    p.access = Package::Access::Readable;
    p.size = bytes.size();
    p.sizeFits = p.size > kPackageHeaderSize && p.size <= kLargestPackageFile;
    if (p.size == 0 || p.size > kLargestPackageFile)
        return p;  // no package is that size: nothing is kept
    p.bytes = std::move(bytes);
    std::memcpy(p.header.Bytes, p.bytes.data(), std::min<size_t>(p.size, kPackageHeaderSize));
    if (p.size < kPackageHeaderSize)
        return p;  // no header to check
    p.checked = true;
    p.magic = p.header.HasMagic();
    p.storedSum = p.header.HeaderSum();
    p.computedSum =
        AddToHeaderSum(0, p.bytes.data() + kHeaderSumStart, p.bytes.size() - kHeaderSumStart);
    p.bodyCheckByte =
        p.sizeFits && BodyCheckByteValid(p.Body(), p.bytes.size() - kPackageHeaderSize);
    return p;
}
