// Stand-in for the dialog's window handle as the application logic uses it:
// its controls by identifier, message boxes it owns, messages posted to it,
// the open-file dialog, and ending it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ui {

// Message-box icons, valued as the Windows styles.
constexpr unsigned kIconError = 0x10;
constexpr unsigned kIconWarning = 0x30;
constexpr unsigned kIconInformation = 0x40;

// Entries of an open-file filter: a description and its pattern.
using FileFilter = std::vector<std::pair<std::string, std::string>>;

class DialogWindow {
  public:
    virtual ~DialogWindow() = default;
    virtual void EnableControl(int controlId, bool enable) = 0;
    virtual bool IsControlEnabled(int controlId) const = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual std::string ControlText(int controlId) const = 0;
    // A modal box with one OK button, owned by the dialog; returns when closed.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption,
                                unsigned icon) = 0;
    // A modal question with Yes and No, owned by the dialog; No is the
    // default (Enter and Escape answer No). True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    // Queues a message for the dialog's own thread and returns at once.
    virtual void Post(unsigned message) = 0;
    // Centres the dialog on the screen.
    virtual void CenterOnScreen() = 0;
    // Shows the open-file dialog; true with the chosen path when the user
    // picked a file, false when they cancelled.
    virtual bool ChooseOpenFile(const std::string& title, const FileFilter& filter,
                                const std::string& defaultExtension, std::string* path) = 0;
    // Ends the modal dialog with the result.
    virtual void EndDialog(int result) = 0;
    // A modal list to pick one entry from, owned by the dialog, the first
    // entry selected: the index picked, or -1 when the user cancelled.
    virtual int ChooseFromList(const std::string& title, const std::string& prompt,
                               const std::vector<std::string>& entries) = 0;
    // Moves the keyboard focus to a control.
    virtual void FocusControl(int controlId) = 0;
    // While on, the dialog's logic is told of the time passing a few times
    // a second (OnTick), on the dialog's own thread.
    virtual void SetTicking(bool on) = 0;
};

}  // namespace ui
