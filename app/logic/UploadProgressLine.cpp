#include "app/logic/UploadProgressLine.h"

#include <algorithm>

#include "app/common/ProgressFigures.h"

void UploadProgressLine::Begin(uint64_t totalBytes, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
    totalBytes_ = totalBytes;
    start_ = now;
    lastStep_ = now;
    position_ = minimum_;
}

void UploadProgressLine::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
}

double UploadProgressLine::FractionLocked() const {
    const int span = std::max(1, maximum_ - minimum_);
    // A final part-block steps once past the range; it counts as the end.
    return std::clamp(static_cast<double>(position_ - minimum_) / span, 0.0, 1.0);
}

int UploadProgressLine::Percent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FiguresAt(FractionLocked(), totalBytes_, 0).percent;
}

std::string UploadProgressLine::Text(Clock::time_point now) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_)
        return kIdle;
    const auto silent = std::chrono::duration_cast<std::chrono::seconds>(now - lastStep_);
    if (silent >= kStallAfter)
        return "No answer from the device for " + std::to_string(silent.count()) + " s";
    const ProgressFigures f = FiguresAt(FractionLocked(), totalBytes_,
                                        std::chrono::duration<double>(lastStep_ - start_).count());
    const std::string left = TimeLeftText(f);
    return std::string(kIdle) + " " + std::to_string(f.percent) + "%" +
           (left.empty() ? "" : ", " + left);
}

void UploadProgressLine::SetRange(int minimum, int maximum) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        minimum_ = minimum;
        maximum_ = std::max(maximum, minimum);
    }
    if (bar_ != nullptr)
        bar_->SetRange(minimum, maximum);
}

void UploadProgressLine::SetStep(int step) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        step_ = step;
    }
    if (bar_ != nullptr)
        bar_->SetStep(step);
}

void UploadProgressLine::SetPosition(int position) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The bar's reset at the end of the upload is not progress back to 0.
        if (position != minimum_ || !running_)
            position_ = position;
    }
    if (bar_ != nullptr)
        bar_->SetPosition(position);
}

void UploadProgressLine::StepIt() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        position_ += step_;
        lastStep_ = Clock::now();
    }
    if (bar_ != nullptr)
        bar_->StepIt();
}
