/// @file
/// Trace lines and hex dumps into a text control. A line is exactly the text
/// the caller formats (callers put their own tag in front); lines are
/// separated by CR LF written before every line but the first.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "ui/TextControl.h"

/// The longest trace line; longer ones are cut.
constexpr size_t kTraceLineCapacity = 4096;
/// The longest line of a hex dump.
constexpr size_t kHexDumpLineCapacity = 256;

/// Where an object's trace lines go: the text control of a debug output
/// window, or none. Device and port objects hold a non-owning pointer to one.
class TraceSink {
  public:
    TraceSink() = default;
    /// A sink that writes into control.
    explicit TraceSink(ui::TextControl* control) : editControl_(control) {}
    TraceSink(const TraceSink&) = delete;
    TraceSink& operator=(const TraceSink&) = delete;

    /// Attaches or detaches the control. Waits for lines being appended to
    /// the old one, so a control may be destroyed once this returns with
    /// null (a control served by the calling thread must not be detached
    /// while other threads trace into it).
    void SetEditControl(ui::TextControl* control);
    /// The attached control, or null.
    ui::TextControl* EditControl() const { return editControl_.load(); }

  private:
    friend void AppendTraceLine(const TraceSink& sink, const char* text);
    std::atomic<ui::TextControl*> editControl_{nullptr};
    /// Counts appends under way. No lock is held while a line is appended:
    /// a control may hand the line to its own thread and wait, and that
    /// thread may be tracing too.
    mutable std::mutex mutex_;
    mutable std::condition_variable idle_;
    mutable int appending_ = 0;
};

/// One trace line, printf-style, to target's control (nothing when target or
/// its control is null).
void Trace(const TraceSink* target, const char* format, ...) __attribute__((format(printf, 2, 3)));

/// A label line (when label is not null), then one line per 16 bytes:
/// "%04X: " offset, 48 columns of "%02X " groups, then the bytes as text
/// (0x20..0x7E as themselves, every other byte as a full stop).
void TraceHexDump(const TraceSink* target, const char* label, const uint8_t* data, uint32_t length);

/// Appends text to the control: optionally empties it first, and puts
/// lineBreaks CR LF pairs in front when it already holds text.
void AppendEditText(ui::TextControl* control, const char* text, int lineBreaks, bool clearFirst);
