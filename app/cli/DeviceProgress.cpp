#include "app/cli/DeviceProgress.h"

#include <algorithm>

#include "platform/Console.h"

namespace cli {
namespace {

constexpr int kBarWidth = 20;
constexpr int kAssumedColumns = 80;
// Redrawing every row for every block of every device would flood a slow
// terminal: at most this often, and at each device's end.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Kib(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / 1024.0);
    return text;
}

}  // namespace

// One device's line on the board.
class DeviceProgress::Row : public WorkProgress {
  public:
    Row(DeviceProgress* board, std::string label) : board_(board), label_(std::move(label)) {}

    void Begin(uint64_t totalBytes) override {
        const std::lock_guard<std::mutex> lock(board_->mutex_);
        total_ = totalBytes;
        start_ = std::chrono::steady_clock::now();
        state_ = "";
    }
    void End(bool completed) override {
        {
            const std::lock_guard<std::mutex> lock(board_->mutex_);
            state_ = completed ? "done" : "stopped";
            if (completed)
                fraction_ = 1.0;
        }
        board_->Changed(true);
    }
    void SetRange(int minimum, int maximum) override {
        const std::lock_guard<std::mutex> lock(board_->mutex_);
        minimum_ = minimum;
        maximum_ = std::max(maximum, minimum);
    }
    void SetStep(int step) override { step_ = step; }
    void SetPosition(int) override {}  // the reset at the end is not progress
    void StepIt() override {
        {
            const std::lock_guard<std::mutex> lock(board_->mutex_);
            position_ += step_;
            fraction_ = std::clamp(
                static_cast<double>(position_ - minimum_) / std::max(1, maximum_ - minimum_), 0.0,
                1.0);
        }
        board_->Changed(false);
    }

    // The row's line (lock held).
    std::string Line(int columns) const {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double done = fraction_ * static_cast<double>(total_);
        const int filled = static_cast<int>(fraction_ * kBarWidth);
        char figures[96];
        std::snprintf(figures, sizeof figures, "%3d%%  %s/%s KiB  %s KiB/s%s%s",
                      static_cast<int>(fraction_ * 100.0 + 1e-9), Kib(done).c_str(),
                      Kib(static_cast<double>(total_)).c_str(),
                      Kib(seconds > 0 ? done / seconds : 0).c_str(), state_.empty() ? "" : "  ",
                      state_.c_str());
        std::string line = label_ + "  [" + std::string(filled, '#') +
                           std::string(kBarWidth - filled, '.') + "]  " + figures;
        if (static_cast<int>(line.size()) > columns - 1)
            line.resize(static_cast<size_t>(std::max(columns - 1, 0)));
        return line;
    }

  private:
    DeviceProgress* board_;
    std::string label_;
    uint64_t total_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    int minimum_ = 0, maximum_ = 100, step_ = 1, position_ = 0;
    double fraction_ = 0;
    std::string state_;
};

DeviceProgress::DeviceProgress(ui::ProgressBar* runProgress, std::vector<std::string> labels,
                               uint64_t bytes) {
    const auto* console = dynamic_cast<ConsoleProgressBar*>(runProgress);
    if (console == nullptr || console->Style() == ProgressStyle::Off)
        return;
    stream_ = console->Stream();
    if (console->Style() != ProgressStyle::Terminal) {
        for (std::string& label : labels) {
            lines_.push_back(std::make_unique<ConsoleProgressBar>(stream_, console->Style()));
            lines_.back()->SetLabel(std::move(label));
        }
    } else if (bytes >= kSmallestWorkShown) {
        for (std::string& label : labels)
            rows_.push_back(std::make_unique<Row>(this, std::move(label)));
    }
}

DeviceProgress::~DeviceProgress() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (drawn_)
        Redraw();
}

WorkProgress* DeviceProgress::Of(size_t device) {
    if (device < lines_.size())
        return lines_[device].get();
    if (device < rows_.size())
        return rows_[device].get();
    return nullptr;
}

void DeviceProgress::Changed(bool force) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDrawn_ < kRedrawEvery)
        return;
    lastDrawn_ = now;
    Redraw();
}

void DeviceProgress::Redraw() {
    const int columns = platform::TerminalColumns(stream_);
    std::string frame;
    // Back to the first row of the last drawing.
    if (drawn_)
        frame += "\x1b[" + std::to_string(rows_.size()) + "A";
    for (const auto& row : rows_)
        frame += "\r" + row->Line(columns > 0 ? columns : kAssumedColumns) + "\x1b[K\n";
    std::fputs(frame.c_str(), stream_);
    std::fflush(stream_);
    drawn_ = true;
}

}  // namespace cli
