// Everything a person may want to know of a package file, check by check:
// for `brevik info` and for saying which check a refused package failed.
#pragma once

#include <cstdint>
#include <string>

#include "package/PackageFormat.h"

struct PackageReport {
    enum class Access { Readable, Missing, Directory, NotARegularFile, Unreadable };
    Access access = Access::Missing;
    uint64_t size = 0;
    bool sizeFits = false;       // a header and a body of 1..65536 bytes
    bool magic = false;          // "ZRFW"
    uint32_t storedSum = 0;      // the header sum the header carries
    uint32_t computedSum = 0;    // the sum of the file from offset 8 on
    bool bodyCheckByte = false;  // the body's last byte is the sum of the others
    PackageHeader header;

    bool HeaderSumRight() const { return storedSum == computedSum; }
    // Every check the upload makes.
    bool Uploadable() const {
        return access == Access::Readable && sizeFits && magic && HeaderSumRight() && bodyCheckByte;
    }
    uint64_t BodySize() const { return size > kPackageHeaderSize ? size - kPackageHeaderSize : 0; }
    // The first check that fails, for people ("" when none does).
    std::string Problem() const;
};

// Reads the file once (never waiting on a pipe) and runs every check.
PackageReport ExaminePackage(const std::string& path);
