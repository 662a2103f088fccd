// One device command run the way the fuzz targets and their seed maker run
// it: a device object prepared as a family of the variant byte, the command
// with fixed parameters, and what the oracles look at afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "devicelink/BKQuillex.h"
#include "ui/ProgressBar.h"

namespace fuzz {

// The body length of the package the upload command sends: two full blocks
// and a part block, so every kind of transmission is there.
constexpr size_t kFuzzPackageBody = 600;

// Variant byte: bits 0-1 the family (Quillex 2.12 with bulk commands,
// Quillex 2.11 without, Tessaly 10.12, Dunmarra 1.5); bit 2 a Tessaly in
// large-bin mode; bit 3 plain framing; bit 4 'X' writes; bit 5 'w' writes.
void PrepareDevice(BKQuillex* device, uint8_t variant);

class CountingProgressBar : public ui::ProgressBar {
  public:
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPosition(int p) override { position = p; }
    void StepIt() override {
        ++position;
        ++steps;
    }
    int position = 0;
    int steps = 0;
};

struct CommandRun {
    int result = 0;
    // A transfer or the upload: the read time-out, the cancel flag and the
    // bar must be back as they were.
    bool holdsTransferState = false;
};

CommandRun RunCommand(BKQuillex* device, uint8_t command, uint8_t variant,
                      CountingProgressBar* bar);

uint32_t CurrentReadTimeout(const BKQuillex& device);

// A file in this process's scratch folder (made on first use).
std::string ScratchFile(const std::string& name);

}  // namespace fuzz
