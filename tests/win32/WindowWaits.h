// Waiting for windows from outside their thread or process, as a user's
// hands would: polled, with a time limit.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

// Polls done until it holds or timeoutMs pass; whether it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The window's text by WM_GETTEXT itself: GetWindowText does not ask the
// controls of another process.
inline std::string TextOf(HWND window) {
    char text[512] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// A visible top-level window of the process with this caption, or null.
inline HWND FindProcessWindow(DWORD processId, const std::string& caption) {
    struct Search {
        DWORD processId;
        std::string caption;
        HWND found;
    } search{processId, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && IsWindowVisible(window) && TextOf(window) == s->caption) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits for that window; null when it did not come within timeoutMs.
inline HWND WaitForProcessWindow(DWORD processId, const std::string& caption, int timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessWindow(processId, caption)) != nullptr; },
              timeoutMs);
    return found;
}

// A control's text as read aloud: without the '&' that marks its mnemonic.
inline std::string WithoutMnemonic(const std::string& text) {
    std::string plain;
    for (char c : text)
        if (c != '&')
            plain += c;
    return plain;
}

// A button pressed, as its click notification.
inline void PostClick(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
