// A progress bar drawn on one console line: "[#####.....]  50%".
#pragma once

#include <cstdio>

#include "platform/ProgressBar.h"

class ConsoleProgressBar : public platform::ProgressBar {
  public:
    // Draws only when stream is a terminal; otherwise stays silent.
    explicit ConsoleProgressBar(std::FILE* stream);
    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override { step_ = step; }
    void SetPosition(int position) override;
    void StepIt() override;

  private:
    void Draw();

    std::FILE* stream_;
    bool enabled_;
    int minimum_ = 0;
    int maximum_ = 100;
    int step_ = 10;
    int position_ = 0;
    bool drawn_ = false;
};
