#include "app/flash/Admission.h"

#include "app/common/DeviceTexts.h"

namespace flash {

std::string PackageVersion(const PackageHeader& header) {
    FirmwareVersion version;
    version.Major = static_cast<uint8_t>(header.Major());
    version.Minor = static_cast<uint8_t>(header.Minor());
    version.Letter = header.Target();
    return DeviceVersionText(version);
}

Admission Admit(const PackageHeader& header, const Found& found, const Policy& policy) {
    const char target = header.Target();
    const std::string from = DeviceVersionText(found.version);
    const std::string to = PackageVersion(header);
    if (!(found.flags & kHwCurrentCommandFamily) ||
        PackageFitsDevice(found.flags, target) != PackageFit::Fits)
        return {Refusal::NotFitting, "the package (" + to + " for " + TargetHardwareText(target) +
                                         ") does not fit the " + found.description};
    const int order = header.Major() != found.version.Major
                          ? (header.Major() < found.version.Major ? -1 : 1)
                          : (header.Minor() < found.version.Minor   ? -1
                             : header.Minor() > found.version.Minor ? 1
                                                                    : 0);
    if (order == 0 && !policy.allowReinstall)
        return {Refusal::SameVersion,
                "the device already has " + from + "; --allow-reinstall flashes it again"};
    if (order < 0 && !policy.allowOlder)
        return {Refusal::OlderVersion, "the package (" + to + ") is older than the device's " +
                                           from + "; --allow-older flashes it anyway"};
    return {};
}

}  // namespace flash
