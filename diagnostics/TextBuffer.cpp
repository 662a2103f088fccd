#include "diagnostics/TextBuffer.h"

size_t TextBuffer::Length() const {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    return text_.size();
}

void TextBuffer::AppendAtEnd(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    text_ += text;
}

void TextBuffer::AppendLine(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_ += text_.empty() ? 2 : 3;  // as Length, (separator,) text
    if (!text_.empty())
        text_ += "\r\n";
    text_ += text;
}

void TextBuffer::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    text_.clear();
}

std::string TextBuffer::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

int TextBuffer::CallCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> TextBuffer::Lines() const {
    std::string text = Text();
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return lines;
}
