#include "app/cli/ConsoleProgressBar.h"

#include <algorithm>
#include <string>

#include "platform/Console.h"

namespace {
constexpr int kWidth = 40;
}  // namespace

ConsoleProgressBar::ConsoleProgressBar(std::FILE* stream)
    : stream_(stream), enabled_(platform::IsTerminal(stream)) {}

void ConsoleProgressBar::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(maximum, minimum);
}

void ConsoleProgressBar::SetPosition(int position) {
    // Position 0 after a run is the reset at its end: finish the line.
    if (position == minimum_ && drawn_) {
        std::fputc('\n', stream_);
        drawn_ = false;
    }
    position_ = position;
}

void ConsoleProgressBar::StepIt() {
    position_ += step_;
    Draw();
}

void ConsoleProgressBar::Draw() {
    if (!enabled_)
        return;
    const int span = std::max(1, maximum_ - minimum_);
    // A final part-packet steps once past the range; show it as full.
    const int done = std::clamp(position_ - minimum_, 0, span);
    const int filled = done * kWidth / span;
    const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
    std::fprintf(stream_, "\r[%s] %3d%%", bar.c_str(), done * 100 / span);
    std::fflush(stream_);
    drawn_ = true;
}
