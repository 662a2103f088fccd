#include "app/cli/ConsoleProgressBar.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/common/ProgressFigures.h"
#include "platform/Console.h"

namespace {

constexpr int kWidth = 30;
constexpr int kNarrowestBar = 10;
constexpr int kAssumedColumns = 80;  // a terminal that does not say

}  // namespace

ConsoleProgressBar::ConsoleProgressBar(std::FILE* stream, ProgressStyle style)
    : stream_(stream), style_(style) {}

void ConsoleProgressBar::Begin(uint64_t totalBytes) {
    totalBytes_ = totalBytes;
    start_ = std::chrono::steady_clock::now();
    lastShown_ = style_ == ProgressStyle::Lines ? 0 : -1;  // no line for the first 9%
    shownLength_ = 0;
    active_ = true;
}

void ConsoleProgressBar::End(bool completed) {
    if (!active_)
        return;
    if (completed)
        Show(1.0);
    if (open_)
        std::fputc('\n', stream_);
    open_ = false;
    active_ = false;
}

void ConsoleProgressBar::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(maximum, minimum);
}

void ConsoleProgressBar::SetPosition(int position) {
    // The reset to 0 at the end of an operation is not progress: End shows
    // how the work ended.
    position_ = position;
}

void ConsoleProgressBar::StepIt() {
    position_ += step_;
    const int span = std::max(1, maximum_ - minimum_);
    // A final part-packet steps once past the range; it counts as the end.
    Show(std::clamp(static_cast<double>(position_ - minimum_) / span, 0.0, 1.0));
}

void ConsoleProgressBar::Show(double fraction) {
    if (!active_ || style_ == ProgressStyle::Off ||
        (style_ == ProgressStyle::Terminal && totalBytes_ < kSmallestWorkShown))
        return;
    const int percent = static_cast<int>(fraction * 100.0 + 1e-9);
    // Off a terminal every 10%, as JSON every percent, on a terminal each change.
    const int mark = style_ == ProgressStyle::Lines ? percent / 10 : percent;
    if (mark == lastShown_)
        return;
    lastShown_ = mark;
    const ProgressFigures f =
        FiguresAt(fraction, totalBytes_,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
    const double seconds = f.seconds;
    const double done = f.doneBytes;
    switch (style_) {
        case ProgressStyle::Terminal: {
            // The time left only once there is a rate to tell it by, and
            // never "0 s" before the end; at the end, the time it took.
            char when[48] = "";
            if (fraction >= 1.0)
                std::snprintf(when, sizeof when, "  in %.1f s", seconds);
            else if (f.secondsLeft)
                std::snprintf(when, sizeof when, "  %s", TimeLeftText(f).c_str());
            char figures[160];
            std::snprintf(figures, sizeof figures, "%3d%%  %s/%s  %s/s%s", percent,
                          AmountText(done).c_str(),
                          AmountText(static_cast<double>(totalBytes_)).c_str(),
                          AmountText(f.rate).c_str(), when);
            // The bar takes what the terminal's width leaves (none on a narrow
            // one), and the line never wraps.
            const int columns = platform::TerminalColumns(stream_);
            const int usable = (columns > 0 ? columns : kAssumedColumns) - 1;
            const int room = usable - static_cast<int>(std::strlen(figures)) - 3;
            const int width = std::min(room, kWidth);
            std::string line = figures;
            if (width >= kNarrowestBar) {
                const int filled = static_cast<int>(fraction * width);
                line =
                    "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + line;
            }
            if (static_cast<int>(line.size()) > usable)
                line.resize(static_cast<size_t>(std::max(usable, 0)));
            // Blanks over whatever of a longer line before is still there.
            const size_t blanks = shownLength_ > line.size() ? shownLength_ - line.size() : 0;
            std::fprintf(stream_, "\r%s%s", line.c_str(), std::string(blanks, ' ').c_str());
            shownLength_ = line.size();
            open_ = true;
            break;
        }
        case ProgressStyle::Lines:
            std::fprintf(stream_, "%s%sprogress: %3d%%  %s of %s\n", label_.c_str(),
                         label_.empty() ? "" : " ", mark * 10, AmountText(done).c_str(),
                         AmountText(static_cast<double>(totalBytes_)).c_str());
            break;
        case ProgressStyle::Json:
            // The label is a COM name or a path the program made printable.
            std::fprintf(
                stream_,
                "{%s%s%s\"progress\":%.2f,\"bytes\":%.0f,\"total\":%llu,\"seconds\":%.3f}\n",
                label_.empty() ? "" : "\"port\":\"", label_.c_str(), label_.empty() ? "" : "\",",
                fraction, done, static_cast<unsigned long long>(totalBytes_), seconds);
            break;
        case ProgressStyle::Off:
            break;
    }
    std::fflush(stream_);
}
