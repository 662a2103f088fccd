/// @file
/// Stand-in for a multi-line edit control: the three things the trace calls
/// need of it. Implementations must make each call safe from any thread.
#pragma once

#include <cstddef>

namespace ui {

/// A text the trace lines are appended to.
class TextControl {
  public:
    virtual ~TextControl() = default;
    /// Current length of the text, in characters.
    virtual size_t Length() const = 0;
    /// Inserts text at the end (caret placed at the end, selection replaced).
    virtual void AppendAtEnd(const char* text) = 0;
    /// Empties the control.
    virtual void Clear() = 0;
    /// Appends text as a new line: CR LF first unless the control is empty.
    /// A control that several threads write to makes this one step.
    virtual void AppendLine(const char* text) {
        if (Length() > 0)
            AppendAtEnd("\r\n");
        AppendAtEnd(text);
    }
};

}  // namespace ui
