// The dialog's progress during an upload: passes each step to the toolkit's
// bar and keeps what the line under the title says of it ("Firmware Update
// Progress... 45%, 12 s left"), or, when no block has been taken for a
// while, that the device has not answered. Steps come from the upload's
// worker; the line is read on the dialog's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "ui/ProgressBar.h"

class UploadProgressLine : public ui::ProgressBar {
  public:
    using Clock = std::chrono::steady_clock;

    // What the line says when no upload runs.
    static constexpr const char* kIdle = "Firmware Update Progress...";
    // A device that has taken no block for this long is said to be silent.
    static constexpr std::chrono::seconds kStallAfter{5};

    explicit UploadProgressLine(ui::ProgressBar* bar) : bar_(bar) {}

    // An upload of totalBytes begins now.
    void Begin(uint64_t totalBytes, Clock::time_point now);
    void End();
    // The line's text at now.
    std::string Text(Clock::time_point now) const;
    // The percent the bar stands at, for the bar's accessible value.
    int Percent() const;

    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPosition(int position) override;
    void StepIt() override;

  private:
    double FractionLocked() const;

    ui::ProgressBar* bar_;
    mutable std::mutex mutex_;
    bool running_ = false;
    uint64_t totalBytes_ = 0;
    Clock::time_point start_{};
    Clock::time_point lastStep_{};
    int minimum_ = 0;
    int maximum_ = 100;
    int step_ = 10;
    int position_ = 0;
};
