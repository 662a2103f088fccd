#include "diagnostics/win32/BKDebugOutput.h"

#include <atomic>
#include <string>

#include "ui/TextControl.h"

namespace {

constexpr char kClassName[] = "BKDEBUGOUTPUT";
constexpr int kInitialWidth = 500;
constexpr int kInitialHeight = 200;
// Asks the frame's thread to append the text in lParam (wParam: as a new
// line); sent, so the sender waits until it is done.
constexpr UINT kAppendMessage = WM_APP + 1;
constexpr UINT kLengthMessage = WM_APP + 2;
constexpr UINT kClearMessage = WM_APP + 3;

// The process-wide slots of the window procedure: one window at a time.
BKDebugOutput* g_owner = nullptr;
WNDPROC g_previousEditProc = nullptr;
HFONT g_font = nullptr;

void AppendToEdit(HWND edit, const char* text, bool asNewLine) {
    const int length = GetWindowTextLengthA(edit);
    SendMessageA(edit, EM_SETSEL, length, length);
    if (asNewLine && length > 0)
        SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("\r\n"));
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
}

// Characters typed into the control are dropped, but for Ctrl+C (copy); its
// right-click goes to the frame's "Clear" menu.
LRESULT CALLBACK DebugEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CONTEXTMENU) {
        SendMessageA(GetParent(edit), WM_CONTEXTMENU, wParam, lParam);
        return 0;
    }
    if (message == WM_CHAR && wParam != 3)
        return 0;
    return CallWindowProcA(g_previousEditProc, edit, message, wParam, lParam);
}

}  // namespace

// The text control the trace calls write to. Every call goes to the frame's
// thread as a sent message; while no window is open calls do nothing.
class DebugEditControl : public ui::TextControl {
  public:
    void Attach(HWND frame) { frame_ = frame; }
    void Detach() { frame_ = nullptr; }

    size_t Length() const override {
        HWND frame = frame_.load();
        return frame != nullptr ? static_cast<size_t>(SendMessageA(frame, kLengthMessage, 0, 0))
                                : 0;
    }
    void AppendAtEnd(const char* text) override { Send(text, false); }
    void AppendLine(const char* text) override { Send(text, true); }
    void Clear() override {
        if (HWND frame = frame_.load())
            SendMessageA(frame, kClearMessage, 0, 0);
    }

  private:
    void Send(const char* text, bool asNewLine) {
        if (HWND frame = frame_.load())
            SendMessageA(frame, kAppendMessage, asNewLine ? 1 : 0,
                         reinterpret_cast<LPARAM>(text != nullptr ? text : ""));
    }
    std::atomic<HWND> frame_{nullptr};
};

LRESULT CALLBACK DebugOutputWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            RECT desktop, frame;
            GetWindowRect(GetDesktopWindow(), &desktop);
            GetWindowRect(window, &frame);
            SetWindowPos(
                window, nullptr,
                desktop.left + (desktop.right - desktop.left) / 2 - (frame.right - frame.left) / 2,
                desktop.top + (desktop.bottom - desktop.top) / 2 - (frame.bottom - frame.top) / 2,
                0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            g_owner = static_cast<BKDebugOutput*>(create->lpCreateParams);
            // Read-only but selectable: the Delete key changes nothing either.
            HWND edit = CreateWindowExA(
                0, "EDIT", "",
                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 0,
                0, 0, 0, window, nullptr, create->hInstance, nullptr);
            if (edit != nullptr) {
                g_previousEditProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                    edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DebugEditProc)));
                g_font = CreateFontA(14, 0, 0, 0, FW_THIN, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                                     FF_MODERN | VARIABLE_PITCH, "Courier");
                SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), TRUE);
                SendMessageA(edit, EM_LIMITTEXT, 0, 0);
            }
            if (g_owner != nullptr)
                g_owner->Opened(window, edit);
            return 0;
        }
        case WM_DESTROY:
            if (g_owner != nullptr)
                g_owner->Closed();
            g_owner = nullptr;
            if (g_font != nullptr)
                DeleteObject(g_font);
            g_font = nullptr;
            return 0;
        case WM_SIZE:
            if (HWND edit = GetWindow(window, GW_CHILD))
                MoveWindow(edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_CONTEXTMENU: {
            HMENU menu = CreatePopupMenu();
            AppendMenuA(menu, MF_STRING, kDebugOutputClearCommand, "Clear");
            TrackPopupMenu(menu, TPM_RIGHTBUTTON, static_cast<short>(LOWORD(lParam)),
                           static_cast<short>(HIWORD(lParam)), 0, window, nullptr);
            DestroyMenu(menu);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == kDebugOutputClearCommand) {
                if (HWND edit = GetWindow(window, GW_CHILD))
                    SetWindowTextA(edit, "");
            }
            return 0;
        case kAppendMessage:
            if (HWND edit = GetWindow(window, GW_CHILD))
                AppendToEdit(edit, reinterpret_cast<const char*>(lParam), wParam != 0);
            return 0;
        case kLengthMessage: {
            HWND edit = GetWindow(window, GW_CHILD);
            return edit != nullptr ? GetWindowTextLengthA(edit) : 0;
        }
        case kClearMessage:
            if (HWND edit = GetWindow(window, GW_CHILD))
                SetWindowTextA(edit, "");
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

uint16_t RegisterDebugOutputClass(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DebugOutputWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kClassName;
    const ATOM atom = RegisterClassA(&windowClass);
    // A second registration finds the class there: that is no failure.
    if (atom == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        WNDCLASSA existing;
        return static_cast<uint16_t>(GetClassInfoA(instance, kClassName, &existing));
    }
    return atom;
}

BKDebugOutput::BKDebugOutput() : control_(std::make_unique<DebugEditControl>()) {
    sink_.SetEditControl(control_.get());
}

BKDebugOutput::~BKDebugOutput() {
    Destroy();
    sink_.SetEditControl(nullptr);
}

HWND BKDebugOutput::Create(HWND parent, HINSTANCE instance) {
    if (frame_ != nullptr)
        return frame_;
    if (g_owner != nullptr)
        return nullptr;
    return CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "Debug Output",
                           WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 0, 0,
                           kInitialWidth, kInitialHeight, parent, nullptr, instance, this);
}

int BKDebugOutput::Show() {
    return frame_ != nullptr ? ShowWindow(frame_, SW_SHOW) : 0;
}

int BKDebugOutput::Hide() {
    return frame_ != nullptr ? ShowWindow(frame_, SW_HIDE) : 0;
}

int BKDebugOutput::Destroy() {
    if (frame_ != nullptr)
        DestroyWindow(frame_);
    frame_ = nullptr;
    edit_ = nullptr;
    return 0;
}

void BKDebugOutput::Opened(HWND frame, HWND edit) {
    frame_ = frame;
    edit_ = edit;
    control_->Attach(frame);
}

void BKDebugOutput::Closed() {
    control_->Detach();
    frame_ = nullptr;
    edit_ = nullptr;
}
