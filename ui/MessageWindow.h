/// @file
/// Stand-in for a window that receives messages sent synchronously from any
/// thread: Send returns only after the window's own thread has handled the
/// message (as SendMessage does across threads).
#pragma once

#include <cstdint>

namespace ui {

/// A window that results and notices are sent to.
class MessageWindow {
  public:
    virtual ~MessageWindow() = default;
    /// Hands the message to the window's thread and returns its answer.
    virtual intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace ui
