/// @file
/// The firmware upload's worker thread and the record handed to it.
#pragma once

#include <memory>

#include "devicelink/BKQuillex.h"
#include "ui/MessageWindow.h"
#include "ui/ProgressBar.h"

/// What FirmwareUpdateProc uploads, and whom it tells.
struct FirmwareUpdateParams {
    BKQuillex* Device = nullptr;                 ///< not owned
    ui::MessageWindow* NotifyWindow = nullptr;   ///< receives the completion message
    unsigned NotifyMessage = 0;                  ///< sent with lParam = result
    ui::ProgressBar* ProgressControl = nullptr;  ///< or null
    /// The package as it was checked: its bytes are what goes out (no file
    /// is read again); none is an invalid image.
    std::shared_ptr<const Package> Loaded;
};

/// Runs the upload, traces its result and sends the completion message; the
/// send returns only after the window has handled it. Returns 1.
int FirmwareUpdateProc(FirmwareUpdateParams* params);
