#include "app/common/DeviceTexts.h"

#include "devicelink/ResultCodes.h"
#include "ui/DialogWindow.h"
#include "util/BoundedText.h"

ResultBox ResultBoxFor(int result) {
    using ui::kIconError;
    switch (result) {
        case QX_S_OK:
            return {"Update Successful. New version is ", "Success", ui::kIconInformation};
        case QX_E_FIRMWARE_FLASH_FAILED:
            return {
                "Firmware failed during flash process.\nYou will need to cold-reboot the "
                "Quillex and try again.",
                "Flash failed", kIconError};
        case QX_E_INVALID_FIRMWARE_IMAGE:
            return {"Invalid Image File. Firmware update not performed.", "Error!", kIconError};
        case QX_E_INTERNAL_CS_INVALID:
            return {"Firmware image is invalid or corrupt. (Int. CS).", "Update failed",
                    kIconError};
        case QX_E_NVRAM_BUFFERING_FAILED:
            return {"Firmware buffering failed. You may try again. If it fails, contact support.",
                    "Update failed", kIconError};
        case QX_E_EXTERNAL_CS_INVALID:
            return {"Firmware image is invalid or corrupt, or upload failed. (Ext. CS).",
                    "Update failed", kIconError};
        case QX_E_INVALID_RESPONSE:
            return {"Quillex returned an invalid response.", "Update failed", kIconError};
        case QX_E_DEVICE_NOT_FOUND:
            return {"Device not found. Be sure it is connected and configured.",
                    "Approved Device Not Connected", kIconError};
        default:
            return {"Update Failed!", "Error!", kIconError};
    }
}

uint32_t TargetHardwareBit(char target) {
    const Family* family = FamilyOfLetter(target);
    return family != nullptr && family->currentCommands ? family->bit : 0;
}

const char* TargetHardwareText(char target) {
    return TargetHardwareBit(target) != 0 ? FamilyOfLetter(target)->name : "Unknown";
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

PackageFit PackageFitsDevice(uint32_t deviceFlags, char target) {
    if (deviceFlags == 0)
        return PackageFit::NoDevice;
    const uint32_t required = TargetHardwareBit(target);
    return required != 0 && (deviceFlags & required) != 0 ? PackageFit::Fits
                                                          : PackageFit::WrongHardware;
}
