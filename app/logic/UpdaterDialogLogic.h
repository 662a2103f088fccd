// What the updater dialog does, apart from drawing it: detection when it
// opens and on Detect, package selection, the Update command and its worker,
// the result boxes, and what may happen while an update runs. The toolkit
// layer forwards its events here and implements the window stand-ins.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/UpdaterState.h"
#include "app/common/DeviceTexts.h"
#include "platform/BridgeLatency.h"
#include "ui/DialogWindow.h"
#include "ui/MessageWindow.h"
#include "ui/ProgressBar.h"

class UpdaterDialogLogic {
  public:
    // Starts the update worker; false when no thread could be started.
    using ThreadStarter = std::function<bool(std::function<void()>)>;

    UpdaterDialogLogic(UpdaterState& state, ui::DialogWindow& dialog, ui::ProgressBar* progress,
                       ui::MessageWindow* notifyWindow, ThreadStarter startThread);

    // The dialog is up: centre it and post the first detection.
    bool OnInitDialog();
    // WM_DETECT_HARDWARE and WM_UPDATE_FINISHED (lParam = result).
    void OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // A button by its control identifier.
    void OnCommand(int controlId);
    // The close button or Escape: false when refused because an update runs.
    bool OnCloseRequested();
    // The window is going away: close the port.
    void OnDestroy();
    // A package chosen before the dialog was asked (a path on the command
    // line, a file opened from a file manager): checked and shown exactly as
    // Browse would; the detection and Update! stay the user's.
    void SelectPackage(const std::string& path);

    bool UpdateRunning() const { return updateRunning_; }

  private:
    void DetectHardware();
    // Whether the package may go onto the device: the same or an older
    // version only when the user says Yes.
    bool UserAdmits();
    void StartUpdate();
    void Browse();
    void UpdateFinished(int result);
    // Detect and Browse are refused while the upload holds the port; their
    // buttons are greyed for that time.
    void SetIdleControlsEnabled(bool enabled);

    UpdaterState& state_;
    ui::DialogWindow& dialog_;
    ui::ProgressBar* progress_;
    ui::MessageWindow* notifyWindow_;
    ThreadStarter startThread_;
    bool updateRunning_ = false;
    // The last update's worker started: its upload record tells how far it came.
    bool workerRan_ = false;
    std::unique_ptr<platform::LowLatencyHold> lowLatency_;
};

// Disables Update, then enables it when a loaded package matches the
// identified device; shows "Cannot Update" when a device is identified and
// the package does not fit it. The result is for tests; the effects are
// the button and the box.
bool CheckPackageTarget(UpdaterState& state);
