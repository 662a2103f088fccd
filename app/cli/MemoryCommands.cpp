#include "app/cli/MemoryCommands.h"

#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/cli/DeviceFinding.h"
#include "app/cli/ImageLoading.h"
#include "app/cli/ImageTransfer.h"
#include "app/cli/MemoryAccess.h"
#include "image/ImageFile.h"
#include "platform/FileAccess.h"

namespace cli {
namespace {

bool ParseAddressAndSize(const Session& s, uint32_t* address, uint32_t* size) {
    return ParseCliNumber(s.args.operands[0], address) &&
           (size == nullptr || ParseCliNumber(s.args.operands[1], size));
}

// The format read writes: --format, else the name's, else binary.
image::ImageFormat OutputFormat(const Session& s, const std::string& path) {
    if (const auto word = image::FormatOfWord(s.args.format))
        return *word;
    return image::FormatOfName(path).value_or(image::ImageFormat::Binary);
}

}  // namespace

int ReadMemory(Session& s) {
    uint32_t address = 0, size = 0;
    if (const std::string bad = NotANumber(s, 2); !bad.empty())
        return s.Fail(kCliUsageError, bad);
    if (!ParseAddressAndSize(s, &address, &size) || size == 0 || size > kLargestMemoryFile)
        return s.Fail(kCliUsageError, "read takes ADDRESS SIZE FILE (SIZE from 1 to 16 MiB)");
    // The output first: a file that cannot be written is found out before
    // the device is asked for anything.
    const std::string& path = s.args.operands[2];
    const bool toStdout = path == "-";
    if (toStdout && s.args.json)
        return s.Fail(kCliUsageError, "read to '-' and --json both want standard output");
    OutputFile output(path);
    if (!toStdout) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(platform::FilePath(path), ec);
        if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
            return s.Fail(kCliFileError, path +
                                             ": is there and is not a regular file (a link, "
                                             "folder, pipe or device is never written over)");
        if (!output.CanBeWritten())
            return s.Fail(kCliFileError, path + ": cannot be written");
    }
    const Found found = FindDevice(s);
    if (found.flags == 0)
        return NoDevice(s);
    if (std::optional<int> refused = OutsideMemory(s, address, size))
        return *refused;
    std::vector<uint8_t> data(size);
    const auto lowLatency = HoldLowLatency(s, found.port);
    s.BeginWork(size);
    const int result =
        s.device.ReadBlock(data.data(), size, address, TransferOptions(s), s.progress);
    s.EndWork(result >= 0);
    s.device.ClosePort();
    if (result < 0)
        return TransferFailed(s, result, "read");
    const image::ImageFormat format = OutputFormat(s, path);
    const std::string text = image::WriteImage(format, address, data);
    const bool written = toStdout
                             ? std::fwrite(text.data(), 1, text.size(), s.out) == text.size() &&
                                   std::fflush(s.out) == 0
                             : output.Write(text.data(), text.size());
    if (!written)
        return s.Fail(kCliFileError, path + ": cannot be written");
    s.doc["read"] = {{"address", address},
                     {"size", size},
                     {"file", path},
                     {"format", image::FormatName(format)}};
    if (!toStdout)
        s.Say("Read %u bytes from 0x%X into %s", size, address, path.c_str());
    return kCliSucceeded;
}

int WriteOrVerify(Session& s, bool verify) {
    uint32_t address = 0;
    if (const std::string bad = NotANumber(s, 1); !bad.empty())
        return s.Fail(kCliUsageError, bad);
    ParseAddressAndSize(s, &address, nullptr);
    int failure = kCliFailed;
    const std::optional<PlacedImage> placed =
        LoadPlacedImage(s, address, s.args.operands[1], &failure);
    if (!placed)
        return failure;
    int refusal = kCliSucceeded;
    const Found found = FindDevice(s, !verify, &refusal);
    if (refusal != kCliSucceeded)
        return refusal;
    if (found.flags == 0)
        return NoDevice(s);
    if (std::optional<int> refused = ImageOutsideMemory(s, *placed))
        return *refused;
    if (verify)
        return VerifyImage(s, found, *placed);
    if (std::optional<int> shared = SharedPort(s, found.port))
        return *shared;
    if (s.args.watch)
        return ReloadOnChange(s, found, *placed);
    return WriteImage(s, found, *placed);
}

int Eeprom(Session& s) {
    uint32_t address = 0, size = 0;
    if (const std::string bad = NotANumber(s, 2); !bad.empty())
        return s.Fail(kCliUsageError, bad);
    if (!ParseAddressAndSize(s, &address, &size) || size < 1 || size > 256 || address > 0xFFFF)
        return s.Fail(kCliUsageError, "eeprom takes ADDRESS (below 0x10000) and SIZE (1 to 256)");
    const Found found = FindDevice(s);
    if (found.flags == 0)
        return NoDevice(s);
    uint8_t data[256] = {};
    const int result =
        s.device.ReadEEPROM(data, static_cast<uint16_t>(address), static_cast<uint16_t>(size));
    if (result != QX_S_OK)
        return TransferFailed(s, result, "eeprom");
    s.device.ClosePort();
    Json bytes = Json::array();
    for (uint32_t i = 0; i < size; i += 16) {
        std::string line;
        char cell[8];
        std::snprintf(cell, sizeof cell, "%04X:", address + i);
        line = cell;
        for (uint32_t j = i; j < size && j < i + 16; ++j) {
            std::snprintf(cell, sizeof cell, " %02X", data[j]);
            line += cell;
            bytes.push_back(data[j]);
        }
        s.Say("%s", line.c_str());
    }
    s.doc["eeprom"] = {{"address", address}, {"bytes", bytes}};
    return kCliSucceeded;
}

}  // namespace cli
