// The fuzz targets as plain functions: libFuzzer drives them from fuzz/*Main,
// the test suite replays the kept inputs through them. Each returns "" or
// the property the input broke.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Device replies. Input: the command to run (first byte), a variant (device
// family and options, second byte), then the replies, each a length byte and
// that many bytes; each write of the host releases the next reply.
std::string CheckDeviceReplies(const uint8_t* data, size_t size);
// Package files: the bytes as a file, through the selection check and the
// upload's own read and checks.
std::string CheckPackageBytes(const uint8_t* data, size_t size);
// The command line: arguments separated by NUL bytes. An input that starts
// with kUpdateRunMarker instead runs `brevik update` against a virtual
// device, its output a pipe that went away or not, with a stop signal
// raised at a block of the upload the input chooses: the upload completes or
// never began, a held signal is the exit code, and no failure passes for a
// success. Bytes after the marker: the signal (SIGTERM, SIGHUP, SIGINT,
// SIGPIPE, none), the block, the output closed or not, --json or not.
std::string CheckCommandLine(const uint8_t* data, size_t size);
constexpr uint8_t kUpdateRunMarker = 0xFF;
// Makers' keys and signatures: an even first byte makes the rest a key
// file's text, which is read (no crash, the same key on a second reading)
// and must verify a known package's signature exactly when it is that
// package's maker's key; an odd one makes the rest a signature of the known
// package under the maker's key, which when it verifies must verify again
// and never over the package with one byte changed.
std::string CheckSignatureBytes(const uint8_t* data, size_t size);
// Capture files as brevik-sim --replay reads them: the text through the
// parser (bounded numbers, no crash), what it took written back and read
// again unchanged, and the conversation of its device taken out.
std::string CheckCaptureText(const uint8_t* data, size_t size);

// Memory image files, Intel HEX and S-records: the text through the parser
// (no crash; a refusal names a line of the file), and what it took is
// parts by address that neither touch nor overlap, holding every byte of
// its records, which written back and read again give the same parts.
std::string CheckIntelHexText(const uint8_t* data, size_t size);
std::string CheckSRecordText(const uint8_t* data, size_t size);

// The commands of CheckDeviceReplies, by the input's first byte.
enum Command : uint8_t {
    kVersion,
    kIdentify,
    kConfigMemory,
    kBanks,
    kUpload,
    kBlockRead,
    kBulkRead,
    kBlockWrite,
    kBulkWrite,
    kVerify,
    kStatus,
    kIdentity,
    kDataLink,
    kEmulationMode,
    kRaw,
    kCommandCount
};

// A CheckDeviceReplies input; replies longer than 255 bytes are split.
std::vector<uint8_t> RepliesInput(uint8_t command, uint8_t variant,
                                  const std::vector<std::vector<uint8_t>>& replies);

}  // namespace fuzz
