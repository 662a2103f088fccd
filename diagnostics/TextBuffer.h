// A text control kept in memory: what tests and console programs attach as
// a trace target to read the lines back.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ui/TextControl.h"

class TextBuffer : public ui::TextControl {
  public:
    size_t Length() const override;
    void AppendAtEnd(const char* text) override;
    void Clear() override;
    // Separator and text in one step, so lines from several threads stay whole.
    void AppendLine(const char* text) override;

    std::string Text() const;
    // The text split at CR LF.
    std::vector<std::string> Lines() const;
    // Counts Length/AppendAtEnd/Clear calls that touched the control.
    int CallCount() const;

  private:
    mutable std::mutex mutex_;
    std::string text_;
    mutable int calls_ = 0;
};
