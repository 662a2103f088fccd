#include "app/cli/MemoryCommands.h"

#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/cli/DeviceFinding.h"
#include "platform/FileAccess.h"

namespace cli {
namespace {

uint32_t TransferOptions(const Session& s) {
    return (s.args.noBulk ? QX_XFER_NO_BULK : 0u) | (s.args.plain ? QX_XFER_PLAIN : 0u);
}

// A failed transfer in words people read; the port is closed.
int TransferFailed(Session& s, int result, const char* what) {
    s.device.ClosePort();
    const int code = ExitCodeForResult(result);
    const char* why = code == kCliNoDevice    ? "the device stopped answering"
                      : code == kCliPortBusy  ? "the port is busy"
                      : code == kCliCancelled ? "cancelled"
                                              : "the device turned it down";
    s.doc["result"] = ResultCodeName(result);
    return s.Fail(code, std::string(what) + " failed: " + why);
}

// The end of the device memory a transfer may reach. A family without a
// size rule is reached through 16-bit block addresses only.
uint64_t MemoryEnd(const BKQuillex& device) {
    const int remaining = device.GetMemoryRemaining(0);
    return remaining > 0 ? static_cast<uint64_t>(remaining) : 0x10000;
}

// Refuses, before any transfer, a range the device cannot take: one that
// leaves its memory (the device would drop the address bits it does not have
// and write or read somewhere else while reporting success), or an odd one on
// a Dunmarra, which moves whole 16-bit words.
std::optional<int> OutsideMemory(Session& s, uint32_t address, uint32_t size) {
    if (AnyFamily(s.device.HardwareFlags, &Family::wordTransfers) && ((address | size) & 1) != 0) {
        s.device.ClosePort();
        return s.Fail(kCliUsageError,
                      "a Dunmarra moves whole 16-bit words: ADDRESS and SIZE must be even; "
                      "nothing was transferred");
    }
    const uint64_t end = MemoryEnd(s.device);
    if (uint64_t{address} + size <= end)
        return std::nullopt;
    char text[200];
    std::snprintf(text, sizeof text,
                  "0x%X..0x%llX is outside the device's memory (0x0..0x%llX, %llu KiB); "
                  "nothing was transferred",
                  address, static_cast<unsigned long long>(uint64_t{address} + size - 1),
                  static_cast<unsigned long long>(end - 1),
                  static_cast<unsigned long long>(end / 1024));
    s.device.ClosePort();
    return s.Fail(kCliUsageError, text);
}

// Device memory is 1 MiB at most; a larger file is a mistake.
constexpr int64_t kLargestMemoryFile = 16 * 1024 * 1024;

std::optional<std::vector<uint8_t>> ReadWholeFile(Session& s, const std::string& path,
                                                  int* failure) {
    std::error_code ec;
    if (!std::filesystem::exists(platform::FilePath(path), ec)) {
        *failure = s.Fail(kCliFileError, path + ": no such file");
        return std::nullopt;
    }
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    const int64_t size = file ? file->Size() : -1;
    if (size <= 0 || size > kLargestMemoryFile) {
        *failure =
            s.Fail(kCliFileError, path + ": cannot be read, is empty or is larger than 16 MiB");
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t got = 0;
    if (!file->Read(bytes.data(), static_cast<uint32_t>(size), &got) || got != size) {
        *failure = s.Fail(kCliFileError, path + ": cannot be read");
        return std::nullopt;
    }
    return bytes;
}

// The first of the first count operands (ADDRESS, SIZE) that is no number,
// said as such; "" when they all are.
std::string NotANumber(const Session& s, size_t count) {
    static const char* const kNames[] = {"ADDRESS", "SIZE"};
    for (size_t i = 0; i < count && i < std::size(kNames); ++i) {
        uint32_t ignored = 0;
        if (!ParseCliNumber(s.args.operands[i], &ignored))
            return s.args.command + ": " + kNames[i] + " '" + s.args.operands[i] +
                   "' is not a number (decimal, or hexadecimal after 0x)";
    }
    return "";
}

bool ParseAddressAndSize(const Session& s, uint32_t* address, uint32_t* size) {
    return ParseCliNumber(s.args.operands[0], address) &&
           (size == nullptr || ParseCliNumber(s.args.operands[1], size));
}

// The output of `read`: the bytes go to a new file beside the one named,
// which takes its place only when it is whole. Whatever stood at the name
// is left as it was by every failure, a signal included.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path) : path_(path) {}
    // Whether a file can be made where the output goes, found out before
    // any device is asked; the trial file goes again at once.
    bool CanBeWritten() {
        std::unique_ptr<platform::NewFile> trial = CreateBeside();
        return trial && trial->Remove();
    }
    bool Write(const std::vector<uint8_t>& bytes) {
        std::unique_ptr<platform::NewFile> file = CreateBeside();
        if (!file)
            return false;
        if (file->Write(bytes.data(), bytes.size()) && file->Replace(path_.c_str()))
            return true;
        file->Remove();
        return false;
    }

  private:
    std::unique_ptr<platform::NewFile> CreateBeside() const {
        std::random_device random;
        for (int attempt = 0; attempt < 8; ++attempt) {
            char tag[32];
            std::snprintf(tag, sizeof tag, ".brevik-%08x.part", random());
            if (auto file = platform::NewFile::Create((path_ + tag).c_str()))
                return file;
        }
        return nullptr;
    }
    std::string path_;
};

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
    const bool written =
        toStdout ? std::fwrite(data.data(), 1, size, s.out) == size && std::fflush(s.out) == 0
                 : output.Write(data);
    if (!written)
        return s.Fail(kCliFileError, path + ": cannot be written");
    s.doc["read"] = {{"address", address}, {"size", size}, {"file", path}};
    if (!toStdout)
        s.Say("Read %u bytes from 0x%X into %s", size, address, path.c_str());
    return kCliSucceeded;
}

int WriteOrVerify(Session& s, bool verify) {
    uint32_t address = 0;
    if (const std::string bad = NotANumber(s, 1); !bad.empty())
        return s.Fail(kCliUsageError, bad);
    ParseAddressAndSize(s, &address, nullptr);
    const std::string& path = s.args.operands[1];
    int failure = kCliFailed;
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(s, path, &failure);
    if (!data)
        return failure;
    const uint32_t size = static_cast<uint32_t>(data->size());
    int refusal = kCliSucceeded;
    const Found found = FindDevice(s, !verify, &refusal);
    if (refusal != kCliSucceeded)
        return refusal;
    if (found.flags == 0)
        return NoDevice(s);
    if (std::optional<int> refused = OutsideMemory(s, address, size))
        return *refused;
    if (!verify) {
        if (std::optional<int> shared = SharedPort(s, found.port))
            return *shared;
        const auto lowLatency = HoldLowLatency(s, found.port);
        s.BeginWork(size);
        const int result =
            s.device.WriteBlock(data->data(), size, address, TransferOptions(s), s.progress);
        s.EndWork(result == QX_S_OK);
        if (result != QX_S_OK)
            return TransferFailed(s, result, "write");
        s.device.ClosePort();
        s.doc["write"] = {{"address", address}, {"size", size}, {"file", path}};
        s.Say("Wrote %u bytes to 0x%X", size, address);
        return kCliSucceeded;
    }
    // Read back and compared here, so that the first difference can be named.
    std::vector<uint8_t> device(size);
    const auto lowLatency = HoldLowLatency(s, found.port);
    s.BeginWork(size);
    const int result = s.device.ReadBlock(device.data(), size, address, 0, s.progress);
    s.EndWork(result >= 0);
    if (result < 0)
        return TransferFailed(s, result, "verify");
    s.device.ClosePort();
    uint32_t differing = 0, first = 0;
    for (uint32_t i = size; i-- > 0;) {
        if (device[i] != (*data)[i]) {
            ++differing;
            first = i;
        }
    }
    s.doc["verify"] = {
        {"address", address}, {"size", size}, {"file", path}, {"differing_bytes", differing}};
    if (differing == 0) {
        s.Say("Device memory at 0x%X holds the %u bytes of %s", address, size, path.c_str());
        return kCliSucceeded;
    }
    s.doc["verify"]["first_difference"] = address + first;
    char text[200];
    std::snprintf(text, sizeof text,
                  "device memory at 0x%X differs from %s: %u bytes differ, the first at 0x%X "
                  "(device 0x%02X, file 0x%02X)",
                  address, path.c_str(), differing, address + first, device[first], (*data)[first]);
    return s.Fail(kCliFailed, text);
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
