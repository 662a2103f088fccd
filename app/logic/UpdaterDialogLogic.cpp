#include "app/logic/UpdaterDialogLogic.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/common/DeviceTexts.h"
#include "app/common/MachineReport.h"
#include "app/flash/Admission.h"
#include "app/flash/DeviceSearch.h"
#include "app/flash/PortSelection.h"
#include "app/flash/UpdateExplanation.h"
#include "app/logic/DialogTemplate.h"
#include "package/PackageFile.h"
#include "platform/PortTable.h"
#include "util/BoundedText.h"
#include "util/OutsideText.h"

namespace {

constexpr const char* kSearching = "Searching for HW...";
constexpr const char* kNotFound = "Not Found";
constexpr const char* kUnknown = "Unknown";
constexpr const char* kNoneChosen = "Several devices; none chosen";
constexpr const char* kClosingAfterUpdate =
    "The update goes on to its end; the window closes after it.";

}  // namespace

namespace {

// Text with names from outside (paths, process names) made printable line
// by line, its line breaks kept.
std::string PrintableLines(const std::string& text) {
    std::string shown;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        shown += PrintableText(std::string_view(text).substr(start, end - start)) + "\n";
    return shown + PrintableText(std::string_view(text).substr(start));
}

// The identified device as the flash flow's admission takes it.
flash::Found FoundOf(const UpdaterState& state) {
    const BKQuillex& device = *state.Device;
    flash::Found found;
    found.flags = device.HardwareFlags;
    found.version = device.FirmwareVersion;
    BoundedCopy(found.description, sizeof found.description, state.HardwareDescription);
    return found;
}

}  // namespace

bool CheckPackageTarget(UpdaterState& state) {
    state.Dialog->EnableControl(kControlUpdate, false);
    if (!state.PackageLoaded || state.Device->HardwareFlags == 0)
        return true;
    // The command line's admission; a version the device has, or an older
    // one, is asked about when Update! is pressed.
    const flash::Admission admitted =
        flash::Admit(state.Header, FoundOf(state), {.allowReinstall = true, .allowOlder = true});
    if (admitted.refusal == flash::Refusal::NotFitting) {
        const std::string device = state.HardwareDescription;
        state.Dialog->ShowMessageBox(
            std::string("This firmware package does not match the type of hardware\ndeteced!") +
                "\n\nThe package is " + PackageVersionText(state.Header) + " for " +
                TargetHardwareText(state.Header.Target()) +
                (device.empty() ? "." : "; the device is a " + device + "."),
            "Cannot Update", ui::kIconWarning);
        return false;
    }
    state.Dialog->EnableControl(kControlUpdate, true);
    return true;
}

UpdaterDialogLogic::UpdaterDialogLogic(UpdaterState& state, ui::DialogWindow& dialog,
                                       ui::ProgressBar* progress, ui::MessageWindow* notifyWindow,
                                       ThreadStarter startThread)
    : state_(state),
      dialog_(dialog),
      progress_(progress),
      notifyWindow_(notifyWindow),
      startThread_(std::move(startThread)),
      progressLine_(progress) {}

bool UpdaterDialogLogic::OnInitDialog() {
    state_.Dialog = &dialog_;
    dialog_.CenterOnScreen();
    dialog_.Post(WM_DETECT_HARDWARE);
    return true;
}

void UpdaterDialogLogic::OnMessage(unsigned message, uintptr_t, intptr_t lParam) {
    if (message == WM_DETECT_HARDWARE) {
        DetectHardware();
    } else if (message == WM_UPDATE_FINISHED) {
        UpdateFinished(static_cast<int>(lParam));
    }
}

void UpdaterDialogLogic::OnCommand(int controlId) {
    switch (controlId) {
        case kControlUpdate:
            StartUpdate();
            break;
        case kControlCancel:
            // Escape arrives here too.
            OnCloseRequested();
            break;
        case kControlDetect:
            // Sent, not posted: detection runs before the command returns.
            if (!updateRunning_)
                OnMessage(WM_DETECT_HARDWARE, 0, 0);
            break;
        case kControlBrowse:
            if (!updateRunning_)
                Browse();
            break;
        case kControlDiagnose:
            // Trying the ports would disturb the upload on one of them.
            if (!updateRunning_)
                Diagnose();
            break;
        default:
            break;
    }
}

bool UpdaterDialogLogic::OnCloseRequested() {
    // The upload holds the port and the worker reports back to this window:
    // neither may be taken away while it runs, and a device left half
    // written would need a recovery.
    if (updateRunning_) {
        closeAfterUpdate_ = true;
        ShowProgressLine();
        return false;
    }
    dialog_.EndDialog(0);
    return true;
}

void UpdaterDialogLogic::OnImageFileEntered() {
    if (updateRunning_)
        return;
    const std::string typed = dialog_.ControlText(kControlImageFile);
    if (!typed.empty())
        SelectPackage(typed);
}

void UpdaterDialogLogic::OnImageFileEdited() {
    if (updateRunning_ || !state_.Loaded)
        return;
    if (dialog_.ControlText(kControlImageFile) == state_.PackagePath)
        return;
    ForgetPackage();
    dialog_.SetControlText(kControlUpdateVersion, kUnknown);
    dialog_.SetControlText(kControlTargetHardware, kUnknown);
    dialog_.SetControlText(kControlSignature, kUnknown);
}

void UpdaterDialogLogic::OnTick() {
    ShowProgressLine();
}

void UpdaterDialogLogic::ShowProgressLine() {
    const std::string line = closeAfterUpdate_ && updateRunning_
                                 ? kClosingAfterUpdate
                                 : progressLine_.Text(UploadProgressLine::Clock::now());
    if (dialog_.ControlText(kControlProgressText) != line)
        dialog_.SetControlText(kControlProgressText, line);
}

void UpdaterDialogLogic::Diagnose() {
    const std::vector<platform::PortEntry> ports = PortsToSearch();
    std::string text;
    if (!deviceFound_) {
        std::string searched;
        for (const platform::PortEntry& port : ports)
            searched += (searched.empty() ? "" : ", ") + platform::PortTable::ComName(port.number) +
                        " (" + port.path + ")";
        text = "No device answered";
        if (!searched.empty())
            text += " on " + searched;
        text +=
            ". Plug the device in (USB, a serial line or a paired Bluetooth serial port), "
            "switch it on, then press Detect.\n\n";
    }
    // Opening each port to try it takes a moment; the device is closed first
    // so that its own port is tried as any other.
    state_.Device->ClosePort();
    MachineReport report = CheckMachine(ports);
    for (platform::Finding& f : flash::TrustFindings(trustFolders_))
        report.machine.push_back(std::move(f));
    text += MachineReportText(report);
    dialog_.ShowMessageBox(
        PrintableLines(text), "Device Check",
        report.FindingCount() > 0 || !deviceFound_ ? ui::kIconWarning : ui::kIconInformation);
}

void UpdaterDialogLogic::ForgetPackage() {
    std::memset(state_.PackagePath, 0, sizeof state_.PackagePath);
    state_.PackageLoaded = false;
    state_.Loaded.reset();
    dialog_.EnableControl(kControlUpdate, false);
}

void UpdaterDialogLogic::FocusFirstUseful() {
    dialog_.FocusControl(dialog_.IsControlEnabled(kControlUpdate) ? kControlUpdate
                                                                  : kControlBrowse);
}

void UpdaterDialogLogic::OnDestroy() {
    state_.Device->ClosePort();
}

std::vector<platform::PortEntry> UpdaterDialogLogic::PortsToSearch() const {
    if (portChoice_.empty())
        return platform::PortTable::List();
    if (flash::IsPortSelector(portChoice_)) {
        std::string malformed;
        return flash::PortsSelected(portChoice_, &malformed);
    }
    const std::optional<std::string> path = platform::PortTable::Resolve(portChoice_.c_str());
    if (!path)
        return {};
    return {{platform::PortTable::NumberOfPath(*path), *path, ""}};
}

const flash::Found* UpdaterDialogLogic::ChooseDevice(const std::vector<flash::Found>& answered) {
    if (answered.empty())
        return nullptr;
    if (answered.size() == 1)
        return &answered[0];
    for (const flash::Found& f : answered) {
        if (f.path == chosenPath_)
            return &f;
    }
    std::vector<std::string> entries;
    for (const flash::Found& f : answered)
        entries.push_back(flash::PortTitle(f.port, f.path) + ": " + PrintableText(f.description) +
                          ", firmware " + DeviceVersionText(f.version));
    const int pick = dialog_.ChooseFromList(
        "Choose Device", "More than one device answers. Which one is to be updated?", entries);
    if (pick < 0 || static_cast<size_t>(pick) >= answered.size())
        return nullptr;
    chosenPath_ = answered[static_cast<size_t>(pick)].path;
    return &answered[static_cast<size_t>(pick)];
}

void UpdaterDialogLogic::DetectHardware() {
    dialog_.SetControlText(kControlFirmwareVersion, kSearching);
    dialog_.SetControlText(kControlHardwareDescription, kSearching);
    dialog_.SetControlText(kControlPort, kSearching);
    // Every port at once, with the device object's own port closed, so that
    // several devices are seen as several.
    state_.Device->ClosePort();
    std::vector<flash::Found> answered;
    for (const flash::Found& f : flash::ProbeEachPort(PortsToSearch())) {
        if (f.flags & kHwCurrentCommandFamily)
            answered.push_back(f);
    }
    const flash::Found* chosen = ChooseDevice(answered);
    FirmwareVersion version{};
    const uint32_t flags =
        chosen == nullptr ? 0
                          : state_.Device->DetectHardwareOnPort(
                                chosen->port, state_.HardwareDescription, kTextCapacity, &version);
    deviceFound_ = (flags & kHwCurrentCommandFamily) != 0;
    devicePort_ = deviceFound_ ? chosen->port : 0;
    if (deviceFound_) {
        dialog_.SetControlText(kControlFirmwareVersion, DeviceVersionText(version));
        dialog_.SetControlText(kControlHardwareDescription, state_.HardwareDescription);
        dialog_.SetControlText(kControlPort, flash::PortTitle(chosen->port, chosen->path));
        CheckPackageTarget(state_);
    } else {
        state_.Device->ClosePort();
        dialog_.SetControlText(kControlFirmwareVersion, kNotFound);
        dialog_.SetControlText(kControlHardwareDescription, kNotFound);
        dialog_.SetControlText(kControlPort, answered.size() > 1 ? kNoneChosen : kNotFound);
    }
    // The dialog opens with the keyboard on Browse, or on Update! when a
    // package given beforehand fits the device found.
    if (!detectedOnce_) {
        detectedOnce_ = true;
        FocusFirstUseful();
    }
}

void UpdaterDialogLogic::SetIdleControlsEnabled(bool enabled) {
    dialog_.EnableControl(kControlDetect, enabled);
    dialog_.EnableControl(kControlBrowse, enabled);
    dialog_.EnableControl(kControlImageFile, enabled);
    dialog_.EnableControl(kControlDiagnose, enabled);
}

bool UpdaterDialogLogic::UserAdmits() {
    const flash::Found found = FoundOf(state_);
    const std::string from = DeviceVersionText(found.version);
    const std::string to = flash::PackageVersion(state_.Loaded->header);
    // The command line's policy, where the command line needs an option:
    // the user says Yes, and No is the default.
    // Anything else goes to the upload, which reports its own failure (a
    // device gone since its detection, for one).
    switch (flash::Admit(state_.Loaded->header, found, {}).refusal) {
        case flash::Refusal::None:
        case flash::Refusal::NotFitting:
            return true;
        case flash::Refusal::SameVersion:
            return dialog_.AskYesNo("The device already has " + from + ". Flash it again?",
                                    "Flash the same firmware?");
        case flash::Refusal::OlderVersion:
            return dialog_.AskYesNo(
                to + " is older than the device's " + from + ". Flash the older firmware?",
                "Flash older firmware?");
    }
    return true;
}

void UpdaterDialogLogic::StartUpdate() {
    // Only a package accepted and held in memory goes out, never a file read
    // again by its name.
    if (updateRunning_ || !state_.Loaded || !UserAdmits())
        return;
    dialog_.SetControlText(kControlUpdate, "Updating...");
    dialog_.EnableControl(kControlUpdate, false);
    dialog_.EnableControl(kControlCancel, false);
    SetIdleControlsEnabled(false);

    FirmwareUpdateParams& params = state_.UpdateParams;
    params.Loaded = state_.Loaded;
    params.Device = state_.Device;
    params.NotifyWindow = notifyWindow_;
    params.NotifyMessage = WM_UPDATE_FINISHED;

    // The bridge's latency timer at 1 ms while the upload runs, if allowed.
    const std::optional<std::string> port = platform::PortTable::Resolve(
        platform::PortTable::ComName(state_.Device->ComPortNumber).c_str());
    lowLatency_ = std::make_unique<platform::LowLatencyHold>(port.value_or(""));
    params.ProgressControl = &progressLine_;
    progressLine_.Begin(state_.Loaded->bytes.size(), UploadProgressLine::Clock::now());
    updateRunning_ = true;
    ShowProgressLine();
    dialog_.SetTicking(true);
    // Set before the worker starts, which may report back at once.
    workerRan_ = true;
    if (!startThread_([&params] { FirmwareUpdateProc(&params); })) {
        workerRan_ = false;
        // No worker means no completion message: report and come back here.
        UpdateFinished(QX_E_GENERAL_ERROR);
    }
}

void UpdaterDialogLogic::Browse() {
    std::memset(state_.PackagePath, 0, sizeof state_.PackagePath);
    static const ui::FileFilter kFilter = {
        {"Brevik Firmware Image Files (*.bfw)", "*.bfw"},
        {"All Files (*.*)", "*.*"},
    };
    std::string chosen;
    if (!dialog_.ChooseOpenFile("Select Firmware Image...", kFilter, "bfw", &chosen))
        return;
    SelectPackage(chosen);
}

namespace {

// The verdict as the Signature row shows it: "Signed by maker, key 6DAB376D".
std::string SignatureText(const flash::PackageTrust& trust) {
    std::string text = trust.said;
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

void UpdaterDialogLogic::SelectPackage(const std::string& chosen) {
    std::memset(state_.PackagePath, 0, sizeof state_.PackagePath);
    const bool fits =
        BoundedCopy(state_.PackagePath, sizeof state_.PackagePath, chosen.c_str()) == S_OK;
    Package package = fits ? LoadPackage(state_.PackagePath) : Package{};
    if (!package.bytes.empty())
        state_.Header = package.header;
    state_.Loaded.reset();
    state_.PackageLoaded = false;
    // Judged on the bytes read, which are the ones an update sends; a
    // package the policy keeps off every device is refused as a damaged one
    // is, with the reason.
    std::string untrusted;
    if (package.Selectable()) {
        std::string wishError;
        trust_ = flash::JudgePackage(package.bytes, chosen,
                                     flash::LoadTrust(trustFolders_, trustWishes_, &wishError));
        untrusted = !wishError.empty() ? wishError : trust_.refused ? trust_.why : "";
    }
    if (package.Selectable() && untrusted.empty()) {
        state_.Loaded = std::make_shared<const Package>(std::move(package));
        state_.PackageLoaded = true;
        dialog_.SetControlText(kControlImageFile, state_.PackagePath);
        dialog_.SetControlText(kControlUpdateVersion, PackageVersionText(state_.Header));
        dialog_.SetControlText(kControlTargetHardware, TargetHardwareText(state_.Header.Target()));
        dialog_.SetControlText(kControlSignature, SignatureText(trust_));
        CheckPackageTarget(state_);
        return;
    }
    // A refused pick leaves nothing of the earlier one to flash: the field
    // names the refused file, the details say what is wrong with it.
    ForgetPackage();
    dialog_.SetControlText(kControlImageFile, chosen);
    // A path cut to fit would name another file; say why instead.
    const std::string name = chosen.substr(chosen.find_last_of("/\\") + 1);
    const std::string problem = !fits                ? "the path is too long (over 259 characters)"
                                : !untrusted.empty() ? untrusted
                                                     : package.Problem();
    dialog_.SetControlText(kControlUpdateVersion, problem);
    dialog_.SetControlText(kControlTargetHardware, kUnknown);
    dialog_.SetControlText(kControlSignature,
                           package.Selectable() ? SignatureText(trust_) : std::string(kUnknown));
    const std::string caption =
        !untrusted.empty() ? "Firmware Package Not Trusted" : "Invalid Firmware Package";
    dialog_.ShowMessageBox(fits ? caption + "\n\n" + name + ": " + problem + "."
                                : "The path of this file is too long (over 259 characters).",
                           "Error!", ui::kIconWarning);
}

void UpdaterDialogLogic::UpdateFinished(int result) {
    lowLatency_.reset();
    dialog_.SetTicking(false);
    progressLine_.End();
    const ResultBox box = ResultBoxFor(result);
    std::string text = box.text;
    if (result == QX_S_OK) {
        FirmwareVersion version{};
        // The device that was updated, not another that answers elsewhere.
        const uint32_t flags =
            state_.Device->DetectHardwareOnPort(devicePort_, nullptr, 0, &version);
        if (flags != 0) {
            state_.Device->GetHardwareDescription(flags, &version, state_.HardwareDescription,
                                                  kTextCapacity);
            dialog_.SetControlText(kControlFirmwareVersion, DeviceVersionText(version));
            dialog_.SetControlText(kControlHardwareDescription, state_.HardwareDescription);
            text += DeviceVersionText(version);
        } else {
            // Nothing to read the new version from: do not pass off the old one.
            text += "unknown (the device was not found again).";
        }
    } else if (workerRan_) {
        // As the command line says it: how far the upload came, what the
        // device is left with and what to do next.
        const flash::UpdateExplanation e =
            flash::ExplainUpload(result, state_.Device->LastUpload());
        text +=
            "\n\nStopped " + e.stopped + ".\nThe device " + e.state + ".\nNext: " + e.hint + ".";
    }
    dialog_.ShowMessageBox(text, box.caption, box.icon);
    dialog_.SetControlText(kControlUpdate, kUpdateButtonText);
    dialog_.EnableControl(kControlUpdate, true);
    dialog_.EnableControl(kControlCancel, true);
    SetIdleControlsEnabled(true);
    updateRunning_ = false;
    ShowProgressLine();
    // Asked to close while it ran: the result has been read, now close.
    if (closeAfterUpdate_)
        dialog_.EndDialog(0);
}
