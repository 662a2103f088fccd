// SHA-256 from the system's own cryptography (OpenSSL's libcrypto on Linux,
// CNG on Windows): what a log names a package by, so that a results store
// can tell which image went onto a board whatever the file was called.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

using Sha256Digest = std::array<uint8_t, 32>;

// The digest of bytes; all zero only if the system's cryptography failed,
// which *ok then says (ok may be null).
Sha256Digest Sha256(std::span<const uint8_t> bytes, bool* ok = nullptr);

// Lower-case hexadecimal, 64 characters.
std::string HexText(const Sha256Digest& digest);

}  // namespace platform
