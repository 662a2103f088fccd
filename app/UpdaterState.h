// The updater's application state, one instance for the process, shared by
// the dialog logic and the package checks.
#pragma once

#include <memory>

#include "devicelink/BKQuillex.h"
#include "devicelink/FirmwareUpdate.h"
#include "package/PackageFormat.h"
#include "ui/DialogWindow.h"

// Private messages of the dialog.
constexpr unsigned WM_DETECT_HARDWARE = 0x8000;
constexpr unsigned WM_UPDATE_FINISHED = 0x8001;

// Control identifiers of the dialog.
constexpr int kControlUpdate = 1;
constexpr int kControlCancel = 2;
constexpr int kControlHardwareDescription = 1000;
constexpr int kControlUpdateVersion = 1001;
constexpr int kControlTargetHardware = 1002;
constexpr int kControlSignature = 1003;
constexpr int kControlDetect = 1004;
constexpr int kControlImageFile = 2745;
constexpr int kControlBrowse = 2746;
constexpr int kControlFirmwareVersion = 2747;
constexpr int kControlProgress = 2777;
constexpr int kControlProgressText = 1005;
constexpr int kControlDiagnose = 1006;
constexpr int kControlPort = 1007;

struct UpdaterState {
    ui::DialogWindow* Dialog = nullptr;  // owner of message boxes, holder of Update
    BKQuillex* Device = nullptr;         // the global device object
    char HardwareDescription[kTextCapacity] = {};
    PackageHeader Header;  // of the file last read whole
    bool PackageLoaded = false;
    // The package selected, as it was read and checked: the bytes the
    // update sends, whatever happens to the file after.
    std::shared_ptr<const Package> Loaded;
    char PackagePath[kTextCapacity] = {};
    FirmwareUpdateParams UpdateParams;
};
