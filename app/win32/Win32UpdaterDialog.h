// The updater dialog on Win32: the modal dialog of template 129, its
// procedure forwarding every message to the dialog logic, and the window
// stand-ins the logic and the update worker talk to. It decides nothing
// itself.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/logic/UpdaterDialogLogic.h"

// The dialog template's resource identifier.
constexpr int kUpdaterDialogResource = 129;
// The list of devices to choose from when several answer.
constexpr int kChooserResource = 130;

// The progress bar control, driven by PBM_* messages. The worker sends
// them from its own thread; SendMessage runs them on the dialog's.
class Win32ProgressBar : public ui::ProgressBar {
  public:
    // The control exists once the dialog does.
    void Attach(HWND bar) { bar_ = bar; }
    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPosition(int position) override;
    void StepIt() override;

  private:
    HWND bar_ = nullptr;
};

class Win32UpdaterDialog : public ui::DialogWindow, public ui::MessageWindow {
  public:
    Win32UpdaterDialog(UpdaterState& state, UpdaterDialogLogic::ThreadStarter startThread);
    ~Win32UpdaterDialog() override;
    Win32UpdaterDialog(const Win32UpdaterDialog&) = delete;
    Win32UpdaterDialog& operator=(const Win32UpdaterDialog&) = delete;

    // A package to select as Browse would once the dialog is up.
    void PreselectPackage(const std::string& path) { preselected_ = path; }
    // The port to look on (see UpdaterDialogLogic::SetPortChoice).
    void PreselectPort(const std::string& port) { port_ = port; }
    // What the user's settings add to the package policy (see
    // UpdaterDialogLogic::SetTrust).
    void PresetTrust(flash::TrustWishes wishes) { trustWishes_ = std::move(wishes); }
    // Shows the dialog modally from the template in instance's resources,
    // with no owner; returns the dialog's result, or -1 when it could not
    // be created.
    INT_PTR Run(HINSTANCE instance);

    // ui::DialogWindow
    void EnableControl(int controlId, bool enable) override;
    bool IsControlEnabled(int controlId) const override;
    void SetControlText(int controlId, const std::string& text) override;
    std::string ControlText(int controlId) const override;
    void ShowMessageBox(const std::string& text, const std::string& caption,
                        unsigned icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void Post(unsigned message) override;
    void CenterOnScreen() override;
    bool ChooseOpenFile(const std::string& title, const ui::FileFilter& filter,
                        const std::string& defaultExtension, std::string* path) override;
    void EndDialog(int result) override;
    int ChooseFromList(const std::string& title, const std::string& prompt,
                       const std::vector<std::string>& entries) override;
    void FocusControl(int controlId) override;
    void SetTicking(bool on) override;

    // ui::MessageWindow: from the worker; returns once handled.
    intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) override;

  private:
    static INT_PTR CALLBACK UpdaterDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PathFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR data);
    void OnInitDialog(HWND window);

    UpdaterState& state_;
    UpdaterDialogLogic::ThreadStarter startThread_;
    HWND window_ = nullptr;
    Win32ProgressBar progress_;
    std::unique_ptr<UpdaterDialogLogic> logic_;
    std::string preselected_;
    std::string port_;
    flash::TrustWishes trustWishes_;
};

// Centres window on reference (the desktop when null) by their outer
// rectangles, halves truncated toward zero; moves it without resizing,
// activating it or changing its Z order.
BOOL CenterWindow(HWND window, HWND reference);

// The system's open-file dialog over a 260-character buffer; true when the
// user chose a file, which then stands in the buffer. filter holds
// "description\0pattern\0...\0\0" or is null.
bool BrowseForFile(HWND owner, char* fileName, const char* title, const char* filter,
                   DWORD filterIndex, const char* defaultExtension);
