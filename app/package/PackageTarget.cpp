#include "app/package/PackageTarget.h"

#include "diagnostics/BoundedText.h"

uint32_t TargetHardwareBit(char target) {
    switch (target) {
        case 'Q':
            return kHwQuillex;
        case 'N':
            return kHwNerrin;
        case 'P':
            return kHwVarroPell;
        case 'L':
            return kHwTessaly;
        case 'D':
            return kHwDunmarra;
        default:
            return 0;
    }
}

const char* TargetHardwareText(char target) {
    switch (target) {
        case 'Q':
            return "Quillex";
        case 'N':
            return "Nerrin";
        case 'P':
            return "Varro & Pell";
        case 'L':
            return "Tessaly";
        case 'D':
            return "Dunmarra";
        default:
            return "Unknown";
    }
}

std::string PackageVersionText(const PackageHeader& header) {
    char text[32];
    BoundedFormat(text, sizeof text, "%i.%i.%c", header.Major(), header.Minor(), header.Target());
    return text;
}

std::string DeviceVersionText(const FirmwareVersion& version) {
    char text[32];
    BoundedFormat(text, sizeof text, "%.2i.%.2i.%c", version.Major, version.Minor, version.Letter);
    return text;
}

bool CheckPackageTarget(UpdaterState& state) {
    state.Dialog->EnableControl(kControlUpdate, false);
    const uint32_t flags = state.Device->HardwareFlags;
    if (flags == 0 || !state.PackageLoaded)
        return true;
    const uint32_t required = TargetHardwareBit(state.Header.Target());
    if (required == 0 || !(flags & required)) {
        state.Dialog->ShowMessageBox(
            "This firmware package does not match the type of hardware\ndeteced!", "Cannot Update",
            platform::kIconWarning);
        return false;
    }
    state.Dialog->EnableControl(kControlUpdate, true);
    return true;
}
