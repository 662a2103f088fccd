#include "app/cli/MemoryAccess.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <random>

#include "app/cli/DeviceFinding.h"

namespace cli {

// A device whose firmware carries no bulk commands is asked in block
// packets at once: the device link tries bulk first and, when that fails,
// pauses 800 ms before a write goes on in blocks (time a device that did
// fail a bulk write needs, and one that was never asked does not).
uint32_t TransferOptions(const Session& s) {
    const BKQuillex& d = s.device;
    const bool noBulk = s.args.noBulk || !(d.HardwareFlags & kHwCurrentCommandFamily) ||
                        FirmwareTooOld(d.HardwareFlags, &Family::bulkLevel, d.FirmwareVersion);
    return (noBulk ? QX_XFER_NO_BULK : 0u) | (s.args.plain ? QX_XFER_PLAIN : 0u);
}

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

uint64_t MemoryEnd(const BKQuillex& device) {
    const int remaining = device.GetMemoryRemaining(0);
    return remaining > 0 ? static_cast<uint64_t>(remaining) : 0x10000;
}

// A range that leaves the device's memory is refused (the device would drop
// the address bits it does not have and write or read somewhere else while
// reporting success), as is an odd one on a Dunmarra, which moves whole
// 16-bit words.
std::string RangeProblem(const BKQuillex& device, uint32_t address, uint32_t size) {
    if (AnyFamily(device.HardwareFlags, &Family::wordTransfers) && ((address | size) & 1) != 0)
        return "a Dunmarra moves whole 16-bit words: ADDRESS and SIZE must be even";
    const uint64_t end = MemoryEnd(device);
    if (uint64_t{address} + size <= end)
        return "";
    char text[160];
    std::snprintf(
        text, sizeof text, "0x%X..0x%llX is outside the device's memory (0x0..0x%llX, %llu KiB)",
        address, static_cast<unsigned long long>(uint64_t{address} + size - 1),
        static_cast<unsigned long long>(end - 1), static_cast<unsigned long long>(end / 1024));
    return text;
}

std::optional<int> OutsideMemory(Session& s, uint32_t address, uint32_t size,
                                 const std::string& where) {
    const std::string problem = RangeProblem(s.device, address, size);
    if (problem.empty())
        return std::nullopt;
    s.device.ClosePort();
    return s.Fail(kCliUsageError, where + problem + "; nothing was transferred");
}

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path, std::string* problem,
                                                  platform::FileShare share) {
    std::error_code ec;
    if (!std::filesystem::exists(platform::FilePath(path), ec)) {
        *problem = "no such file";
        return std::nullopt;
    }
    auto file = platform::ReadOnlyFile::Open(path.c_str(), share);
    const int64_t size = file ? file->Size() : -1;
    if (size <= 0 || size > kLargestMemoryFile) {
        *problem = "cannot be read, is empty or is larger than 16 MiB";
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t got = 0;
    if (!file->Read(bytes.data(), static_cast<uint32_t>(size), &got) || got != size) {
        *problem = "cannot be read";
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(Session& s, const std::string& path,
                                                  int* failure) {
    std::string problem;
    std::optional<std::vector<uint8_t>> bytes = ReadFileBytes(path, &problem);
    if (!bytes)
        *failure = s.Fail(kCliFileError, path + ": " + problem);
    return bytes;
}

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

bool OutputFile::CanBeWritten() {
    std::unique_ptr<platform::NewFile> trial = CreateBeside();
    return trial && trial->Remove();
}

bool OutputFile::Write(const void* bytes, size_t size) {
    std::unique_ptr<platform::NewFile> file = CreateBeside();
    if (!file)
        return false;
    if (file->Write(bytes, size) && file->Replace(path_.c_str()))
        return true;
    file->Remove();
    return false;
}

std::unique_ptr<platform::NewFile> OutputFile::CreateBeside() const {
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char tag[32];
        std::snprintf(tag, sizeof tag, ".brevik-%08x.part", random());
        if (auto file = platform::NewFile::Create((path_ + tag).c_str()))
            return file;
    }
    return nullptr;
}

SharedProgress::SharedProgress(ui::ProgressBar* whole, uint64_t totalBytes)
    : whole_(whole), total_(std::max<uint64_t>(totalBytes, 1)) {
    if (whole_ != nullptr)
        whole_->SetRange(0, kScale);
}

ui::ProgressBar* SharedProgress::Next(uint64_t bytes) {
    done_ += bytes_;
    bytes_ = bytes;
    minimum_ = 0, maximum_ = 100, position_ = 0;
    return whole_ != nullptr ? this : nullptr;
}

void SharedProgress::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(maximum, minimum + 1);
    position_ = minimum;
}

void SharedProgress::SetPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
    const double share = double(position_ - minimum_) / double(maximum_ - minimum_);
    whole_->SetPosition(
        static_cast<int>(kScale * (double(done_) + share * double(bytes_)) / double(total_)));
}

}  // namespace cli
