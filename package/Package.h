/// @file
/// A firmware package held in memory: the file's bytes, read once, the header
/// they start with and the result of every check. The selection check, the
/// description for people and the upload all take this value, so what was
/// checked is what goes to the device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageFormat.h"

/// The package; see the file's description.
struct Package {
    /// What came of opening the file.
    enum class Access { Readable, Missing, Directory, NotARegularFile, Unreadable, InUse };
    Access access = Access::Missing;  ///< Readable when the bytes were read
    uint64_t size = 0;                ///< of the file, whether read or not
    std::vector<uint8_t> bytes;       ///< the whole file; empty when larger than any package
    /// The checks ran. When false the ones below never did: a file shorter
    /// than a header has none to check, one larger than any package is not read.
    bool checked = false;
    bool sizeFits = false;       ///< a header and a body of 1..65536 bytes
    bool magic = false;          ///< "ZRFW"
    uint32_t storedSum = 0;      ///< the header sum the header carries
    uint32_t computedSum = 0;    ///< the sum of the file from offset 8 on
    bool bodyCheckByte = false;  ///< the body's last byte is the sum of the others
    PackageHeader header;        ///< as read, zero-filled past the end of a short file

    /// The header sum the header carries is the file's.
    bool HeaderSumRight() const { return checked && storedSum == computedSum; }
    /// What the dialog asks of a file the user picks: a header, the magic and
    /// the header sum (the body check byte is the upload's business).
    bool Selectable() const;
    /// Every check the upload makes.
    bool Uploadable() const {
        return access == Access::Readable && sizeFits && magic && HeaderSumRight() && bodyCheckByte;
    }
    /// The bytes after the header.
    uint64_t BodySize() const { return size > kPackageHeaderSize ? size - kPackageHeaderSize : 0; }
    /// The body's first byte (valid while bytes holds the file).
    const uint8_t* Body() const { return bytes.data() + kPackageHeaderSize; }
    /// The first check that fails, for people ("" when none does).
    std::string Problem() const;
};

/// The checks run on bytes held in memory (a file read whole).
Package PackageFromBytes(std::vector<uint8_t> bytes);
