// What the memory commands of the brevik tool share: the transfer options,
// failures in words, the device's memory range, the input file read once
// and the output file that takes its name's place only when whole.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliSession.h"
#include "platform/FileAccess.h"

namespace cli {

// --no-bulk and --plain as the transfer's option bits.
uint32_t TransferOptions(const Session& s);

// A failed transfer in words people read; the port is closed.
int TransferFailed(Session& s, int result, const char* what);

// The end of the device memory a transfer may reach. A family without a
// size rule is reached through 16-bit block addresses only.
uint64_t MemoryEnd(const BKQuillex& device);

// Why the device cannot take a range, or "".
std::string RangeProblem(const BKQuillex& device, uint32_t address, uint32_t size);

// Refuses, before any transfer, a range the device cannot take (where, when
// given, says which part of a file asked for it: "rom.hex: line 12: ").
std::optional<int> OutsideMemory(Session& s, uint32_t address, uint32_t size,
                                 const std::string& where = "");

// Device memory is 1 MiB at most; a larger file is a mistake.
constexpr int64_t kLargestMemoryFile = 16 * 1024 * 1024;

// The whole of a file, read once; none, and *problem says why ("no such
// file"), when it cannot be. share: what others may do meanwhile.
std::optional<std::vector<uint8_t>> ReadFileBytes(
    const std::string& path, std::string* problem,
    platform::FileShare share = platform::FileShare::Read);

// The whole of a file, read once; a failure is said and its exit code put
// in *failure.
std::optional<std::vector<uint8_t>> ReadWholeFile(Session& s, const std::string& path,
                                                  int* failure);

// The first of the first count operands (ADDRESS, SIZE) that is no number,
// said as such; "" when they all are.
std::string NotANumber(const Session& s, size_t count);

// An output file: the bytes go to a new file beside the one named, which
// takes its place only when it is whole. Whatever stood at the name is left
// as it was by every failure, a signal included.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path) : path_(path) {}
    // Whether a file can be made where the output goes, found out before
    // any device is asked; the trial file goes again at once.
    bool CanBeWritten();
    bool Write(const void* bytes, size_t size);

  private:
    std::unique_ptr<platform::NewFile> CreateBeside() const;
    std::string path_;
};

// A progress bar over several transfers in a row: each transfer's own
// range is its share of the whole.
class SharedProgress : public ui::ProgressBar {
  public:
    SharedProgress(ui::ProgressBar* whole, uint64_t totalBytes);
    // The next transfer, of this many bytes, begins.
    ui::ProgressBar* Next(uint64_t bytes);

    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override { step_ = step; }
    void SetPosition(int position) override;
    void StepIt() override { SetPosition(position_ + step_); }

  private:
    static constexpr int kScale = 10000;
    ui::ProgressBar* whole_;
    uint64_t total_;
    uint64_t done_ = 0;  // bytes of the transfers before this one
    uint64_t bytes_ = 0;
    int minimum_ = 0, maximum_ = 100, step_ = 10, position_ = 0;
};

}  // namespace cli
