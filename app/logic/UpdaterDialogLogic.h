// What the updater dialog does, apart from drawing it: detection when it
// opens and on Detect, package selection, the Update command and its worker,
// the result boxes, and what may happen while an update runs. The toolkit
// layer forwards its events here and implements the window stand-ins.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/UpdaterState.h"
#include "app/common/DeviceTexts.h"
#include "app/flash/Admission.h"
#include "app/flash/PackageTrust.h"
#include "app/logic/UploadProgressLine.h"
#include "platform/BridgeLatency.h"
#include "platform/PortTable.h"
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
    // The close button or Escape: true when the dialog ends now; during an
    // update, false: the update goes on to its end, the line under the
    // title says so, and the dialog ends after its result box.
    bool OnCloseRequested();
    // Enter in the Image File field: the path typed or pasted there is
    // checked as Browse would check it. It never starts an update.
    void OnImageFileEntered();
    // The Image File field's text changed: a path that is no longer the
    // checked one leaves nothing to flash until it is checked.
    void OnImageFileEdited();
    // A few times a second while ticking: the progress line, and a device
    // that has stopped answering.
    void OnTick();
    // The window is going away: close the port.
    void OnDestroy();
    // A package chosen before the dialog was asked (a path on the command
    // line, a file opened from a file manager): checked and shown exactly as
    // Browse would; the detection and Update! stay the user's.
    void SelectPackage(const std::string& path);

    // The port to look on, as the command line's --port takes it (COMn, a
    // path, usb:SERIAL, usb-path:SOCKET or id:VID:PID[:SERIAL]); "" for
    // every port of the table.
    void SetPortChoice(std::string choice) { portChoice_ = std::move(choice); }
    // Where the administrator's and the user's policy and keys are, and what
    // the user's settings add to the policy (which only tightens it).
    void SetTrust(flash::TrustFolders folders, flash::TrustWishes wishes) {
        trustFolders_ = std::move(folders);
        trustWishes_ = std::move(wishes);
    }

    bool UpdateRunning() const { return updateRunning_; }
    bool ClosingAfterUpdate() const { return closeAfterUpdate_; }

  private:
    void DetectHardware();
    // The ports the detection and the machine check look at.
    std::vector<platform::PortEntry> PortsToSearch() const;
    // Of the devices that answered, the one to work with: the only one, the
    // one chosen before if it is still there, else the user's pick from a
    // list. Null when none answered or the user picked none.
    const flash::Found* ChooseDevice(const std::vector<flash::Found>& answered);
    // Whether the package may go onto the device: the same or an older
    // version only when the user says Yes.
    bool UserAdmits();
    void StartUpdate();
    void Browse();
    void UpdateFinished(int result);
    // Detect and Browse are refused while the upload holds the port; their
    // buttons are greyed for that time.
    void SetIdleControlsEnabled(bool enabled);
    // Forgets the package selected: nothing is left to flash.
    void ForgetPackage();
    // The first control worth the keyboard: Update! when it may be pressed,
    // else Browse.
    void FocusFirstUseful();
    void ShowProgressLine();
    // The machine check of 'brevik doctor', in a box: where the device is
    // looked for, what may stop a flash and how to fix it.
    void Diagnose();

    UpdaterState& state_;
    ui::DialogWindow& dialog_;
    ui::ProgressBar* progress_;
    ui::MessageWindow* notifyWindow_;
    ThreadStarter startThread_;
    bool updateRunning_ = false;
    // The last update's worker started: its upload record tells how far it came.
    bool workerRan_ = false;
    // The user asked to close while the update ran.
    bool closeAfterUpdate_ = false;
    bool detectedOnce_ = false;
    bool deviceFound_ = false;
    int devicePort_ = 0;  // COMn of the device found
    std::string portChoice_;
    std::string chosenPath_;  // the user's pick among several devices
    flash::TrustFolders trustFolders_ = flash::DefaultTrustFolders();
    flash::TrustWishes trustWishes_;
    flash::PackageTrust trust_;  // the package selected, judged
    UploadProgressLine progressLine_;
    std::unique_ptr<platform::LowLatencyHold> lowLatency_;
};

// Disables Update, then enables it when a loaded package matches the
// identified device; shows "Cannot Update" when a device is identified and
// the package does not fit it. The result is for tests; the effects are
// the button and the box.
bool CheckPackageTarget(UpdaterState& state);
