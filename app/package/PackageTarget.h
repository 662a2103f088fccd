// Which hardware a package is for, and how package and device versions are
// shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/UpdaterState.h"

// The hardware-type bit a target letter requires; 0 for a letter no
// hardware answers to.
uint32_t TargetHardwareBit(char target);

// "Quillex", "Nerrin", "Varro & Pell", "Tessaly", "Dunmarra", or "Unknown".
const char* TargetHardwareText(char target);

// A package's version as "%i.%i.%c" (2.12.Q), a device's as "%.2i.%.2i.%c"
// (02.12.Q).
std::string PackageVersionText(const PackageHeader& header);
std::string DeviceVersionText(const FirmwareVersion& version);

// Disables Update, then enables it when a loaded package matches the
// identified device; shows "Cannot Update" when a device is identified and
// the package does not fit it. The result is for tests; the effects are
// the button and the box.
bool CheckPackageTarget(UpdaterState& state);
