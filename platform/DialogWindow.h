// Stand-in for the dialog's window handle as the application logic uses it:
// its controls by identifier, and message boxes it owns.
#pragma once

#include <string>

namespace platform {

// Message-box icons, valued as the Windows styles.
constexpr unsigned kIconError = 0x10;
constexpr unsigned kIconWarning = 0x30;
constexpr unsigned kIconInformation = 0x40;

class DialogWindow {
  public:
    virtual ~DialogWindow() = default;
    virtual void EnableControl(int controlId, bool enable) = 0;
    virtual bool IsControlEnabled(int controlId) const = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual std::string ControlText(int controlId) const = 0;
    // A modal box with one OK button, owned by the dialog.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption,
                                unsigned icon) = 0;
};

}  // namespace platform
