// Progress of a long command on the console. On a terminal, one line redrawn:
// "[#####.....]  50%  32.0/64.0 KiB  11.2 KiB/s  3 s left"; off a terminal a
// plain line every 10%; as JSON lines when asked; or nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/ProgressBar.h"

enum class ProgressStyle { Terminal, Lines, Json, Off };

// A progress bar that also hears where a command's work begins and ends.
class WorkProgress : public ui::ProgressBar {
  public:
    // Work of this many bytes begins; the steps that follow are shares of it.
    virtual void Begin(uint64_t totalBytes) = 0;
    // The work ended, completed or not.
    virtual void End(bool completed) = 0;
};

// Work smaller than this shows no bar on a terminal: at the slowest link
// rate it is over in a third of a second.
constexpr uint64_t kSmallestWorkShown = 4096;

class ConsoleProgressBar : public WorkProgress {
  public:
    ConsoleProgressBar(std::FILE* stream, ProgressStyle style);

    std::FILE* Stream() const { return stream_; }
    ProgressStyle Style() const { return style_; }
    // A name the lines and JSON events carry ("COM2"), for work on one of
    // several devices; none by default.
    void SetLabel(std::string label) { label_ = std::move(label); }

    void Begin(uint64_t totalBytes) override;
    // A completed run is shown at 100%; the line is closed either way, so
    // that what follows starts on a line of its own.
    void End(bool completed) override;

    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override { step_ = step; }
    void SetPosition(int position) override;
    void StepIt() override;

  private:
    void Show(double fraction);

    std::FILE* stream_;
    ProgressStyle style_;
    uint64_t totalBytes_ = 0;
    std::chrono::steady_clock::time_point start_{};
    int minimum_ = 0;
    int maximum_ = 100;
    int step_ = 10;
    int position_ = 0;
    int lastShown_ = -1;      // the last percent (or tenth, off a terminal) shown
    bool open_ = false;       // a terminal line is being drawn
    size_t shownLength_ = 0;  // of the terminal line drawn last
    bool active_ = false;
    std::string label_;
};
