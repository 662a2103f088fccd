/// @file
/// The firmware package file (.bfw): a 256-byte header, then the body that is
/// sent to the device. Header, little-endian: "ZRFW" at 0; at 4 the 32-bit
/// sum of every file byte from offset 8 to the end; major at 12, minor at 13,
/// the target hardware letter at 14; the rest reserved. The body's last byte
/// is the sum modulo 256 of the body bytes before it.
#pragma once

#include <cstddef>
#include <cstdint>

/// The header before the body.
constexpr size_t kPackageHeaderSize = 256;
constexpr size_t kMaxPackageBody = 65536;  ///< the upload command carries 16 bits
/// Where the bytes the header sum adds up begin.
constexpr size_t kHeaderSumStart = 8;
/// No file larger than this is a package, whatever its low 32 size bits say.
constexpr uint64_t kLargestPackageFile = kPackageHeaderSize + kMaxPackageBody;

/// A package's header as it is in the file.
struct PackageHeader {
    uint8_t Bytes[kPackageHeaderSize] = {};  ///< the file's first 256 bytes

    /// Starts with "ZRFW".
    bool HasMagic() const;
    /// The header sum the header carries.
    uint32_t HeaderSum() const;
    /// The version's major number.
    uint8_t Major() const { return Bytes[12]; }
    /// The version's minor number.
    uint8_t Minor() const { return Bytes[13]; }
    /// The letter of the family the package is for.
    char Target() const { return static_cast<char>(Bytes[14]); }
};

/// Adds bytes, each as 0..255, to a 32-bit running sum (wrapping).
uint32_t AddToHeaderSum(uint32_t sum, const uint8_t* bytes, size_t count);

/// True when the body's last byte is the sum of the bytes before it.
bool BodyCheckByteValid(const uint8_t* body, size_t length);
