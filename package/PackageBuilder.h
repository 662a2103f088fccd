/// @file
/// Making packages: for tests, the demo and tools that prepare a firmware
/// image for the updater.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// A valid package of the payload: the body is the payload followed by its
/// check byte, so the body is one byte longer than the payload.
std::vector<uint8_t> BuildPackage(const std::vector<uint8_t>& payload, uint8_t major, uint8_t minor,
                                  char target);

/// Recomputes the header sum after the bytes were edited (tests use it to
/// make packages that are valid but for one chosen fault).
void RefreshHeaderSum(std::vector<uint8_t>* package);

/// A payload of the given length that carries its version in an image stamp
/// ("BKIM", major, minor, letter) at its start when there is room, then a
/// repeating pattern: the virtual device takes its new version from it.
std::vector<uint8_t> MakeFirmwarePayload(size_t length, uint8_t major, uint8_t minor, char letter);

/// A valid package of a payload of payloadLength bytes that carries the
/// package's own version in its image stamp: the version is said once.
std::vector<uint8_t> FirmwarePackage(size_t payloadLength, uint8_t major, uint8_t minor,
                                     char letter);

/// Writes a package to a new file (never over one that exists); false when
/// it cannot.
bool WritePackageFile(const std::string& path, const std::vector<uint8_t>& package);
