// The debug output window on Win32: a resizable tool window titled "Debug
// Output" (class "BKDEBUGOUTPUT") whose multi-line edit control shows the
// trace lines of whatever device or port object has this window's trace
// target. The text can be selected and copied and emptied through a
// right-click menu with the single entry "Clear"; nothing typed changes it.
//
// Create, Show, Hide, Destroy and the destructor run on the thread that
// owns the window, which must run a message loop: trace lines from other
// threads reach the control through it, each call waiting until it has been
// appended. Closing the window is safe while others trace; destroying the
// object is not: take its target off every device and port object first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "diagnostics/Trace.h"

class DebugEditControl;

// Command identifier of the context menu's "Clear".
constexpr int kDebugOutputClearCommand = 100;

// Registers the window class; the class atom, or 0 on failure.
uint16_t RegisterDebugOutputClass(HINSTANCE instance);

class BKDebugOutput {
  public:
    BKDebugOutput();
    ~BKDebugOutput();
    BKDebugOutput(const BKDebugOutput&) = delete;
    BKDebugOutput& operator=(const BKDebugOutput&) = delete;

    // Opens the window, owned by parent (or none), 500 x 200, centred on the
    // desktop; null on failure. One debug output window exists per process:
    // while it is open, Create on its own object returns it again and Create
    // on any other object gives null.
    HWND Create(HWND parent, HINSTANCE instance);
    // Whether the window was visible before.
    int Show();
    int Hide();
    // Destroys the window (if any); both handles become null. Returns 0.
    int Destroy();

    HWND FrameHandle() const { return frame_; }
    HWND EditHandle() const { return edit_; }
    // What device and port objects take as their trace target. Lines sent
    // to it while no window is open are dropped.
    TraceSink* Target() { return &sink_; }

  private:
    friend LRESULT CALLBACK DebugOutputWndProc(HWND, UINT, WPARAM, LPARAM);
    void Opened(HWND frame, HWND edit);
    void Closed();

    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
    std::unique_ptr<DebugEditControl> control_;
    TraceSink sink_;
};
