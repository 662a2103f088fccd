// The device library's upload from a file name, for callers that hold a
// path: the file is opened so that nobody else can open it, read once, and
// kept so while its bytes go out through the upload of a loaded package.
// The device link itself never opens a file.
#include "devicelink/BKQuillex.h"
#include "package/PackageFile.h"

int BKQuillex::UpdateFirmware(const char* path, ui::ProgressBar* progress) {
    lastUpload_ = UploadRecord{};
    if (path == nullptr)
        return QX_E_GENERAL_ERROR;
    if (!(HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    if (!PortOpen || !PortHandle)
        return QX_E_PORT_NOT_INITIALIZED;
    const HeldPackageFile held(path);
    if (!held.Held()) {
        if (progress != nullptr)
            progress->SetPosition(0);
        return QX_E_GENERAL_ERROR;
    }
    return UpdateFirmware(held.Loaded(), progress);
}
