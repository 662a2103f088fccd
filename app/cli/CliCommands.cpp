#include "app/cli/CliCommands.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/UpdaterDialogLogic.h"
#include "app/package/PackageFile.h"
#include "app/package/PackageTarget.h"
#include "platform/FileAccess.h"
#include "platform/PortTable.h"

namespace {

struct Session {
    const CliArguments& args;
    BKQuillex& device;
    std::FILE* out;
    std::FILE* err;
    platform::ProgressBar* progress;
};

int Usage(const Session& s, const char* what) {
    std::fprintf(s.err, "brevik: %s\n\n%s", what, CliUsage());
    return kCliUsageError;
}

// Finds the device over the port table (from COM1); 0 when none answered.
uint32_t FindDevice(const Session& s, char* description, FirmwareVersion* version) {
    const uint32_t flags =
        s.device.DetectHardware(description, kTextCapacity, version, kDetectFromFirstPort);
    if (flags == 0) {
        s.device.ClosePort();
        std::fprintf(s.err, "%s\n", ResultBoxFor(QX_E_DEVICE_NOT_FOUND).text);
    }
    return flags;
}

int Ports(const Session& s) {
    const std::vector<std::string> ports = platform::PortTable::Entries();
    if (ports.empty())
        std::fprintf(s.out, "No serial ports.\n");
    for (size_t i = 0; i < ports.size(); ++i)
        std::fprintf(s.out, "COM%zu  %s\n", i + 1, ports[i].c_str());
    return kCliSucceeded;
}

int Detect(const Session& s) {
    char description[kTextCapacity] = {};
    FirmwareVersion version{};
    if (FindDevice(s, description, &version) == 0)
        return kCliFailed;
    std::fprintf(s.out, "%s, firmware %s, on COM%d\n", description,
                 DeviceVersionText(version).c_str(), s.device.ComPortNumber);
    s.device.ClosePort();
    return kCliSucceeded;
}

int Update(const Session& s) {
    if (s.args.operands.size() != 1)
        return Usage(s, "update takes one package file");
    const char* path = s.args.operands[0].c_str();
    PackageHeader header{};
    if (!CheckPackageFile(path, &header)) {
        std::fprintf(s.err, "%s: Invalid Firmware Package\n", path);
        return kCliFailed;
    }
    char description[kTextCapacity] = {};
    FirmwareVersion version{};
    const uint32_t flags = FindDevice(s, description, &version);
    if (flags == 0)
        return kCliFailed;
    const char target = header.Target();
    if (!(flags & kHwCurrentCommandFamily) || !(flags & TargetHardwareBit(target))) {
        std::fprintf(s.err, "Cannot Update: the package (%s for %s) does not fit the %s.\n",
                     PackageVersionText(header).c_str(), TargetHardwareText(target), description);
        s.device.ClosePort();
        return kCliFailed;
    }
    std::fprintf(s.out, "Updating %s from %s to %s...\n", description,
                 DeviceVersionText(version).c_str(), PackageVersionText(header).c_str());
    const int result = s.device.UpdateFirmware(path, s.progress);
    std::string text = ResultBoxFor(result).text;
    if (result == QX_S_OK) {
        FirmwareVersion now{};
        text += s.device.DetectHardware(nullptr, 0, &now, kDetectFromFirstPort) != 0
                    ? DeviceVersionText(now)
                    : "unknown (the device was not found again).";
    }
    s.device.ClosePort();
    std::fprintf(result == QX_S_OK ? s.out : s.err, "%s\n", text.c_str());
    return result == QX_S_OK ? kCliSucceeded : kCliFailed;
}

uint32_t TransferOptions(const Session& s) {
    return (s.args.noBulk ? QX_XFER_NO_BULK : 0u) | (s.args.plain ? QX_XFER_PLAIN : 0u);
}

// The transfer's end: its result code named, the port closed.
int Finish(const Session& s, int result, const char* what) {
    s.device.ClosePort();
    if (result < 0) {
        std::fprintf(s.err, "%s failed: %s\n", what, ResultCodeName(result));
        return kCliFailed;
    }
    return kCliSucceeded;
}

// The end of the device memory a transfer may reach. A family without a
// size rule is reached through 16-bit block addresses only.
uint64_t MemoryEnd(const BKQuillex& device) {
    const int remaining = device.GetMemoryRemaining(0);
    return remaining > 0 ? static_cast<uint64_t>(remaining) : 0x10000;
}

// Refuses, before any transfer, a range that leaves the device's memory: the
// device would drop the address bits it does not have and write or read
// somewhere else while reporting success.
bool RangeInMemory(const Session& s, uint32_t address, uint32_t size) {
    const uint64_t end = MemoryEnd(s.device);
    if (uint64_t{address} + size <= end)
        return true;
    std::fprintf(s.err,
                 "brevik: 0x%X..0x%llX is outside the device's memory (0x0..0x%llX, %llu KiB); "
                 "nothing was transferred\n",
                 address, static_cast<unsigned long long>(uint64_t{address} + size - 1),
                 static_cast<unsigned long long>(end - 1),
                 static_cast<unsigned long long>(end / 1024));
    s.device.ClosePort();
    return false;
}

// Device memory is 1 MiB at most; a larger file is a mistake.
constexpr int64_t kLargestMemoryFile = 16 * 1024 * 1024;

std::optional<std::vector<uint8_t>> ReadWholeFile(const Session& s, const std::string& path) {
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    const int64_t size = file ? file->Size() : -1;
    if (size <= 0 || size > kLargestMemoryFile) {
        std::fprintf(s.err, "%s: cannot be read, is empty or is larger than 16 MiB\n",
                     path.c_str());
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t got = 0;
    if (!file->Read(bytes.data(), static_cast<uint32_t>(size), &got) || got != size) {
        std::fprintf(s.err, "%s: cannot be read\n", path.c_str());
        return std::nullopt;
    }
    return bytes;
}

int ReadMemory(const Session& s) {
    uint32_t address = 0, size = 0;
    if (s.args.operands.size() != 3 || !ParseCliNumber(s.args.operands[0], &address) ||
        !ParseCliNumber(s.args.operands[1], &size) || size == 0 || size > kLargestMemoryFile)
        return Usage(s, "read takes ADDRESS SIZE FILE (SIZE from 1 to 16 MiB)");
    const std::string& path = s.args.operands[2];
    if (FindDevice(s, nullptr, nullptr) == 0 || !RangeInMemory(s, address, size))
        return kCliFailed;
    std::vector<uint8_t> data(size);
    const int result =
        s.device.ReadBlock(data.data(), size, address, TransferOptions(s), s.progress);
    if (result < 0)
        return Finish(s, result, "read");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         std::fclose);
    if (!file || std::fwrite(data.data(), 1, size, file.get()) != size) {
        std::fprintf(s.err, "%s: cannot be written\n", path.c_str());
        s.device.ClosePort();
        return kCliFailed;
    }
    std::fprintf(s.out, "Read %u bytes from 0x%X into %s\n", size, address, path.c_str());
    return Finish(s, QX_S_OK, "read");
}

int WriteOrVerify(const Session& s, bool verify) {
    uint32_t address = 0;
    if (s.args.operands.size() != 2 || !ParseCliNumber(s.args.operands[0], &address))
        return Usage(s, verify ? "verify takes ADDRESS FILE" : "write takes ADDRESS FILE");
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(s, s.args.operands[1]);
    if (!data)
        return kCliFailed;
    const uint32_t size = static_cast<uint32_t>(data->size());
    if (FindDevice(s, nullptr, nullptr) == 0 || !RangeInMemory(s, address, size))
        return kCliFailed;
    if (verify) {
        const int result = s.device.Verify(data->data(), address, size, s.progress);
        if (result == 1)
            std::fprintf(s.out, "Device memory at 0x%X holds the %u bytes of %s\n", address, size,
                         s.args.operands[1].c_str());
        else if (result == 0)
            std::fprintf(s.err, "Device memory at 0x%X differs from %s\n", address,
                         s.args.operands[1].c_str());
        const int code = Finish(s, result, "verify");
        return result == 1 ? code : kCliFailed;
    }
    const int result =
        s.device.WriteBlock(data->data(), size, address, TransferOptions(s), s.progress);
    if (result == QX_S_OK)
        std::fprintf(s.out, "Wrote %u bytes to 0x%X\n", size, address);
    return Finish(s, result, "write");
}

int Eeprom(const Session& s) {
    uint32_t address = 0, size = 0;
    if (s.args.operands.size() != 2 || !ParseCliNumber(s.args.operands[0], &address) ||
        !ParseCliNumber(s.args.operands[1], &size) || size < 1 || size > 256 || address > 0xFFFF)
        return Usage(s, "eeprom takes ADDRESS (below 0x10000) and SIZE (1 to 256)");
    if (FindDevice(s, nullptr, nullptr) == 0)
        return kCliFailed;
    uint8_t data[256] = {};
    const int result =
        s.device.ReadEEPROM(data, static_cast<uint16_t>(address), static_cast<uint16_t>(size));
    if (result == QX_S_OK) {
        for (uint32_t i = 0; i < size; i += 16) {
            std::fprintf(s.out, "%04X:", address + i);
            for (uint32_t j = i; j < size && j < i + 16; ++j)
                std::fprintf(s.out, " %02X", data[j]);
            std::fprintf(s.out, "\n");
        }
    }
    return Finish(s, result, "eeprom");
}

}  // namespace

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  platform::ProgressBar* progress) {
    const Session s{args, device, out, err, progress};
    if (!args.port.empty()) {
        // Only the named port: the table becomes that one entry.
        const std::optional<std::string> path = platform::PortTable::Resolve(args.port.c_str());
        if (!path) {
            std::fprintf(err, "brevik: %s is not a serial port here (see: brevik ports)\n",
                         args.port.c_str());
            return kCliFailed;
        }
        platform::PortTable::SetOverride({*path});
    }
    const std::string& c = args.command;
    if (c == "ports")
        return Ports(s);
    if (c == "detect")
        return Detect(s);
    if (c == "update")
        return Update(s);
    if (c == "read")
        return ReadMemory(s);
    if (c == "write")
        return WriteOrVerify(s, false);
    if (c == "verify")
        return WriteOrVerify(s, true);
    if (c == "eeprom")
        return Eeprom(s);
    if (c == "help" || c.empty()) {
        std::fprintf(c.empty() ? err : out, "%s", CliUsage());
        return c.empty() ? kCliUsageError : kCliSucceeded;
    }
    return Usage(s, ("unknown command " + c).c_str());
}
