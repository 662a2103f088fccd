#include "app/win32/Win32UpdaterDialog.h"

// After <windows.h>:
#include <commctrl.h>

#include <cstring>
#include <vector>

#include "gui/win32/Win32Toolbox.h"

namespace {

constexpr size_t kPathCapacity = 260;
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMilliseconds = 250;

// Static controls without SS_NOPREFIX take '&' as the mnemonic marker, so
// a text shows one '&' for each "&&".
bool IsPrefixedStatic(HWND control) {
    char className[16] = {};
    GetClassNameA(control, className, sizeof className);
    return lstrcmpiA(className, "Static") == 0 &&
           (GetWindowLongPtrA(control, GWL_STYLE) & SS_NOPREFIX) == 0;
}

std::string EscapeAmpersands(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c;
        if (c == '&')
            escaped += '&';
    }
    return escaped;
}

std::string UnescapeAmpersands(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&')
            ++i;
    }
    return plain;
}

}  // namespace

void Win32ProgressBar::SetRange(int minimum, int maximum) {
    SendMessageA(bar_, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

void Win32ProgressBar::SetStep(int step) {
    SendMessageA(bar_, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void Win32ProgressBar::SetPosition(int position) {
    SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32ProgressBar::StepIt() {
    SendMessageA(bar_, PBM_STEPIT, 0, 0);
}

BOOL CenterWindow(HWND window, HWND reference) {
    if (reference == nullptr)
        reference = GetDesktopWindow();
    RECT self;
    RECT outer;
    if (!GetWindowRect(window, &self) || !GetWindowRect(reference, &outer))
        return FALSE;
    const int x = outer.left + (outer.right - outer.left) / 2 - (self.right - self.left) / 2;
    const int y = outer.top + (outer.bottom - outer.top) / 2 - (self.bottom - self.top) / 2;
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool BrowseForFile(HWND owner, char* fileName, const char* title, const char* filter,
                   DWORD filterIndex, const char* defaultExtension) {
    // The toolbox's open dialog with no initial directory and no title
    // buffer; the default extension goes with a filter only.
    return ShowFileDialog(owner, FALSE, nullptr, fileName, nullptr, title, filterIndex, filter,
                          filter != nullptr ? defaultExtension : nullptr) != FALSE;
}

Win32UpdaterDialog::Win32UpdaterDialog(UpdaterState& state,
                                       UpdaterDialogLogic::ThreadStarter startThread)
    : state_(state), startThread_(std::move(startThread)) {}

Win32UpdaterDialog::~Win32UpdaterDialog() = default;

INT_PTR Win32UpdaterDialog::Run(HINSTANCE instance) {
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(kUpdaterDialogResource), nullptr,
                           UpdaterDlgProc, reinterpret_cast<LPARAM>(this));
}

// The Image File field keeps Enter for itself: the dialog manager would
// turn it into the default button (Update!), or into nothing while that is
// greyed. Enter there checks the path typed.
LRESULT CALLBACK Win32UpdaterDialog::PathFieldProc(HWND field, UINT message, WPARAM wParam,
                                                   LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Win32UpdaterDialog*>(data);
    switch (message) {
        case WM_GETDLGCODE: {
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
                return DLGC_WANTALLKEYS | DefSubclassProc(field, message, wParam, lParam);
            break;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                if (self->logic_)
                    self->logic_->OnImageFileEntered();
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == '\r')
                return 0;  // a one-line field would beep at it
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(field, PathFieldProc, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(field, message, wParam, lParam);
}

void Win32UpdaterDialog::OnInitDialog(HWND window) {
    window_ = window;
    SetWindowSubclass(GetDlgItem(window, kControlImageFile), PathFieldProc, 1,
                      reinterpret_cast<DWORD_PTR>(this));
    progress_.Attach(GetDlgItem(window, kControlProgress));
    logic_ = std::make_unique<UpdaterDialogLogic>(state_, *this, &progress_, this, startThread_);
    logic_->SetPortChoice(port_);
    logic_->SetTrust(flash::DefaultTrustFolders(), trustWishes_);
    logic_->OnInitDialog();
    if (!preselected_.empty())
        logic_->SelectPackage(preselected_);
}

INT_PTR CALLBACK Win32UpdaterDialog::UpdaterDlgProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32UpdaterDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->OnInitDialog(window);
        // Focus on the first tab stop until the first detection moves it
        // to the first useful control.
        return TRUE;
    }
    auto* self = reinterpret_cast<Win32UpdaterDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr || self->logic_ == nullptr)
        return FALSE;
    switch (message) {
        case WM_DETECT_HARDWARE:
        case WM_UPDATE_FINISHED:
            self->logic_->OnMessage(message, wParam, lParam);
            break;
        case WM_TIMER:
            if (wParam == kTickTimer)
                self->logic_->OnTick();
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == kControlImageFile && HIWORD(wParam) == EN_CHANGE) {
                self->logic_->OnImageFileEdited();
            } else if (HIWORD(wParam) == BN_CLICKED) {
                // Escape and the close box arrive as Cancel (IDCANCEL).
                self->logic_->OnCommand(LOWORD(wParam));
            }
            break;
        case WM_DESTROY:
            self->logic_->OnDestroy();
            break;
        default:
            break;
    }
    return FALSE;
}

void Win32UpdaterDialog::EnableControl(int controlId, bool enable) {
    EnableWindow(GetDlgItem(window_, controlId), enable ? TRUE : FALSE);
}

bool Win32UpdaterDialog::IsControlEnabled(int controlId) const {
    HWND control = GetDlgItem(window_, controlId);
    return control != nullptr && IsWindowEnabled(control);
}

void Win32UpdaterDialog::SetControlText(int controlId, const std::string& text) {
    HWND control = GetDlgItem(window_, controlId);
    const std::string shown = IsPrefixedStatic(control) ? EscapeAmpersands(text) : text;
    SetWindowTextA(control, shown.c_str());
    // Detection keeps this thread busy right after "Searching for HW...":
    // paint now so that the text is seen.
    UpdateWindow(control);
}

std::string Win32UpdaterDialog::ControlText(int controlId) const {
    HWND control = GetDlgItem(window_, controlId);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return IsPrefixedStatic(control) ? UnescapeAmpersands(text) : text;
}

void Win32UpdaterDialog::ShowMessageBox(const std::string& text, const std::string& caption,
                                        unsigned icon) {
    MessageBoxA(window_, text.c_str(), caption.c_str(), MB_OK | icon);
}

bool Win32UpdaterDialog::AskYesNo(const std::string& text, const std::string& caption) {
    // No is the default button: Enter answers No, as Escape does.
    return MessageBoxA(window_, text.c_str(), caption.c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void Win32UpdaterDialog::Post(unsigned message) {
    PostMessageA(window_, message, 0, 0);
}

void Win32UpdaterDialog::CenterOnScreen() {
    CenterWindow(window_, nullptr);
}

bool Win32UpdaterDialog::ChooseOpenFile(const std::string& title, const ui::FileFilter& filter,
                                        const std::string& defaultExtension, std::string* path) {
    // "description\0pattern\0" per entry, and one more terminator.
    std::string filterText;
    for (const auto& [description, pattern] : filter) {
        filterText.append(description).push_back('\0');
        filterText.append(pattern).push_back('\0');
    }
    filterText.push_back('\0');
    std::vector<char> fileName(kPathCapacity, '\0');
    if (!BrowseForFile(window_, fileName.data(), title.c_str(), filterText.c_str(), 0,
                       defaultExtension.c_str()))
        return false;
    *path = fileName.data();
    return true;
}

void Win32UpdaterDialog::EndDialog(int result) {
    ::EndDialog(window_, result);
}

namespace {

// The list box of resource kChooserResource, with its prompt before it.
constexpr int kChooserPrompt = 100;
constexpr int kChooserList = 101;

struct ListChoice {
    const std::string* title;
    const std::string* prompt;
    const std::vector<std::string>* entries;
    int picked = -1;
};

INT_PTR CALLBACK ChooserProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* choice = reinterpret_cast<ListChoice*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            choice = reinterpret_cast<ListChoice*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            SetWindowTextA(window, choice->title->c_str());
            SetDlgItemTextA(window, kChooserPrompt, choice->prompt->c_str());
            HWND list = GetDlgItem(window, kChooserList);
            for (const std::string& entry : *choice->entries)
                SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
            SendMessageA(list, LB_SETCURSEL, 0, 0);
            CenterWindow(window, GetParent(window));
            return TRUE;
        }
        case WM_COMMAND: {
            const bool doubleClicked =
                LOWORD(wParam) == kChooserList && HIWORD(wParam) == LBN_DBLCLK;
            if (LOWORD(wParam) == IDOK || doubleClicked) {
                choice->picked = static_cast<int>(
                    SendMessageA(GetDlgItem(window, kChooserList), LB_GETCURSEL, 0, 0));
                ::EndDialog(window, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(window, IDCANCEL);
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return FALSE;
}

}  // namespace

int Win32UpdaterDialog::ChooseFromList(const std::string& title, const std::string& prompt,
                                       const std::vector<std::string>& entries) {
    ListChoice choice{&title, &prompt, &entries};
    if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kChooserResource), window_,
                        ChooserProc, reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return -1;
    return choice.picked;
}

void Win32UpdaterDialog::FocusControl(int controlId) {
    // The dialog manager's own way, so that the default button follows.
    SendMessageA(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, controlId)),
                 TRUE);
}

void Win32UpdaterDialog::SetTicking(bool on) {
    if (on)
        SetTimer(window_, kTickTimer, kTickMilliseconds, nullptr);
    else
        KillTimer(window_, kTickTimer);
}

intptr_t Win32UpdaterDialog::Send(unsigned message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageA(window_, message, wParam, lParam);
}
