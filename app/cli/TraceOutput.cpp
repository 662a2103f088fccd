#include "app/cli/TraceOutput.h"

#include <cctype>

namespace {

constexpr int kStepsPerLine = 16;

// "0010: 48 52 ..." : a line of a hex dump.
bool IsDumpLine(const std::string& line) {
    if (line.size() < 5 || line[4] != ':')
        return false;
    for (int i = 0; i < 4; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(line[i])))
            return false;
    }
    return true;
}

}  // namespace

void TraceOutput::AppendAtEnd(const char* text) {
    const std::string line(text);
    length_ += line.size();
    // A text control puts the line break before the next line; here every
    // line ends with its own, so that the tool's words start on a fresh line.
    if (line == "\r\n")
        return;
    // The label line of a dump and its lines: shown from level 2 on.
    if (level_ < 2 && (line == "Read Port" || line == "Write Port" || IsDumpLine(line)))
        return;
    std::fprintf(stream_, "  | %s\n", line.c_str());
}

void TracedProgress::SetRange(int minimum, int maximum) {
    maximum_ = maximum - minimum;
    steps_ = 0;
    reported_ = 0;
    inner_->SetRange(minimum, maximum);
}

void TracedProgress::SetStep(int step) {
    inner_->SetStep(step);
}

void TracedProgress::SetPosition(int position) {
    // The reset at the end of a run: say how far it came.
    if (position == 0 && steps_ > reported_) {
        std::fprintf(stream_, "  | %d of %d packets acknowledged\n", steps_, maximum_);
        reported_ = steps_;
    }
    inner_->SetPosition(position);
}

void TracedProgress::StepIt() {
    ++steps_;
    if (steps_ % kStepsPerLine == 0) {
        std::fprintf(stream_, "  | packets %d-%d of %d acknowledged\n", steps_ - kStepsPerLine + 1,
                     steps_, maximum_);
        reported_ = steps_;
    }
    inner_->StepIt();
}
