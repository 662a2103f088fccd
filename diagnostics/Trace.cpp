#include "diagnostics/Trace.h"

#include <cstdarg>
#include <cstring>

#include "util/BoundedText.h"

void TraceSink::SetEditControl(ui::TextControl* control) {
    std::unique_lock<std::mutex> lock(mutex_);
    editControl_.store(control);
    idle_.wait(lock, [this] { return appending_ == 0; });
}

void AppendTraceLine(const TraceSink& sink, const char* text) {
    ui::TextControl* control;
    {
        std::lock_guard<std::mutex> lock(sink.mutex_);
        control = sink.editControl_.load();
        if (control == nullptr)
            return;
        ++sink.appending_;
    }
    // One step per line, so the separator and the text stay together.
    control->AppendLine(text);
    std::lock_guard<std::mutex> lock(sink.mutex_);
    if (--sink.appending_ == 0)
        sink.idle_.notify_all();
}

void AppendEditText(ui::TextControl* control, const char* text, int lineBreaks, bool clearFirst) {
    if (control == nullptr)
        return;
    if (clearFirst)
        control->Clear();
    if (control->Length() > 0) {
        for (int i = 0; i < lineBreaks; ++i)
            AppendEditText(control, "\r\n", 0, false);
    }
    control->AppendAtEnd(text != nullptr ? text : "");
}

void Trace(const TraceSink* target, const char* format, ...) {
    if (target == nullptr || target->EditControl() == nullptr)
        return;
    // Each call formats in its own buffer, so concurrent traces never share one.
    char line[kTraceLineCapacity];
    va_list args;
    va_start(args, format);
    BoundedVFormat(line, sizeof line, format, args);  // a cut line is kept as cut
    va_end(args);
    AppendTraceLine(*target, line);
}

void TraceHexDump(const TraceSink* target, const char* label, const uint8_t* data,
                  uint32_t length) {
    char line[kHexDumpLineCapacity];
    std::memset(line, 0, sizeof line);
    if (target == nullptr || data == nullptr || length == 0)
        return;
    if (label != nullptr)
        Trace(target, "%s", label);

    constexpr size_t kBytesPerLine = 16;
    constexpr size_t kTextColumn = 3 * kBytesPerLine;
    uint32_t offset = 0;
    uint32_t remaining = length;
    while (remaining > 0) {
        size_t n = remaining < kBytesPerLine ? remaining : kBytesPerLine;
        line[0] = '\0';
        for (size_t i = 0; i < n; ++i) {
            BoundedFormat(line + 3 * i, sizeof line - 3 * i, "%02X ", data[i]);
        }
        for (size_t i = n; i < kBytesPerLine; ++i) {
            BoundedFormat(line + 3 * i, sizeof line - 3 * i, "   ");
        }
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = data[i];
            char shown = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
            BoundedFormat(line + kTextColumn + i, sizeof line - kTextColumn - i, "%c", shown);
        }
        Trace(target, "%04X: %s", offset, line);
        data += n;
        offset += static_cast<uint32_t>(n);
        remaining -= static_cast<uint32_t>(n);
    }
}
