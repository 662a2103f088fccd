// Whether a package may go onto a device: it must be made for the device's
// hardware, and a version the device already runs, or an older one, goes on
// only where the policy lets it. The command line's options and the dialog's
// questions both stand on this one judgement.
#pragma once

#include <cstdint>
#include <string>

#include "devicelink/BKQuillex.h"
#include "package/PackageFormat.h"

namespace flash {

// A device that answered on a port, or flags 0.
struct Found {
    int port = 0;
    std::string path;  // the port's device, which stays while COM numbers move
    uint32_t flags = 0;
    char description[kTextCapacity] = {};
    FirmwareVersion version{};
    platform::OpenError openError = platform::OpenError::None;  // why the port did not open
};

// A package's version written as the device writes its own (02.12.Q): one
// form in every message and document, so the two compare at a glance.
std::string PackageVersion(const PackageHeader& header);

// What may be flashed beyond a newer version.
struct Policy {
    bool allowReinstall = false;  // the version the device runs
    bool allowOlder = false;      // a version older than the device's
};

// Why a package does not go on, when it does not.
enum class Refusal { None, NotFitting, SameVersion, OlderVersion };

struct Admission {
    Refusal refusal = Refusal::None;
    std::string why;  // for people, with the option or question that lets it through
    bool Admitted() const { return refusal == Refusal::None; }
};
Admission Admit(const PackageHeader& header, const Found& found, const Policy& policy);

}  // namespace flash
