// What the dialog and the command line both show of devices, packages and
// update results, and whether a package fits a device: display-free, so
// each front end shows the verdict its own way.
#pragma once

#include <cstdint>
#include <string>

#include "devicelink/Families.h"
#include "package/PackageFormat.h"

// Text, caption and icon of the report of an update's result (the success
// text is completed by the caller with the new version).
struct ResultBox {
    const char* text;
    const char* caption;
    unsigned icon;
};
ResultBox ResultBoxFor(int result);

// The hardware-type bit a target letter requires; 0 for a letter no
// hardware answers to.
uint32_t TargetHardwareBit(char target);

// "Quillex", "Nerrin", "Varro & Pell", "Tessaly", "Dunmarra", or "Unknown".
const char* TargetHardwareText(char target);

// A package's version as "%i.%i.%c" (2.12.Q), a device's as "%.2i.%.2i.%c"
// (02.12.Q).
std::string PackageVersionText(const PackageHeader& header);
std::string DeviceVersionText(const FirmwareVersion& version);

// Whether a package for target fits the device of the flag word (0: none
// identified yet, nothing to judge): the device has the target's bit.
enum class PackageFit { NoDevice, Fits, WrongHardware };
PackageFit PackageFitsDevice(uint32_t deviceFlags, char target);
