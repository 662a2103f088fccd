// The debug output window: a resizable tool window titled "Debug Output"
// whose multi-line text control shows the trace lines of whatever device
// or port object has this window's trace target. The user can select and
// copy the text and empty it through a right-click menu with the single
// entry "Clear"; typing changes nothing.
//
// Create, Show, Hide, Destroy and the destructor run on the GUI thread,
// which must keep processing events: trace lines from other threads reach
// the control through it, each call waiting until it has been appended.
// Closing the window is safe while others trace; destroying the object is
// not: take its target off every device and port object first.
#pragma once

#include <cstdint>
#include <memory>

#include "diagnostics/Trace.h"

class QObject;
class QPlainTextEdit;
class QWidget;
class DebugTextControl;

// Command identifier of the context menu's "Clear".
constexpr int kDebugOutputClearCommand = 100;

// Makes debug output windows available; the class atom, or 0 when there is
// no application object to own windows (Create then gives null).
uint16_t RegisterDebugOutputClass();

class BKDebugOutput {
  public:
    BKDebugOutput();
    ~BKDebugOutput();
    BKDebugOutput(const BKDebugOutput&) = delete;
    BKDebugOutput& operator=(const BKDebugOutput&) = delete;

    // Opens the window, owned by parent (or none), 500 x 200, centred, and
    // returns it; null on failure. One debug output window exists per
    // process: while it is open, Create on its own object returns it again
    // and Create on any other object gives null.
    QWidget* Create(QWidget* parent);
    // Whether the window was visible before; 0 without a window.
    int Show();
    int Hide();
    // Closes the window (if any); both handles become null. Returns 0.
    int Destroy();

    QWidget* FrameHandle() const { return frame_; }
    QPlainTextEdit* EditHandle() const { return edit_; }
    // What device and port objects take as their trace target. Lines sent
    // to it while no window is open are dropped.
    TraceSink* Target() { return &sink_; }

  private:
    friend class DebugOutputFrame;
    // The window is going away, whoever destroys it.
    void Forget();

    QWidget* frame_ = nullptr;
    QPlainTextEdit* edit_ = nullptr;
    std::unique_ptr<QObject> dispatcher_;  // lives on the GUI thread
    std::unique_ptr<DebugTextControl> control_;
    TraceSink sink_;
};
