// A QProgressBar behind the progress-bar stand-in. Calls from a worker
// thread are carried out on the bar's thread and wait for it.
#pragma once

#include <QProgressBar>

#include "ui/ProgressBar.h"

class QtProgressBar : public ui::ProgressBar {
  public:
    explicit QtProgressBar(QProgressBar* bar) : bar_(bar) {}
    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPosition(int position) override;
    // Advances by the step; past the maximum the bar starts over at the
    // minimum, as a Windows progress bar does.
    void StepIt() override;

  private:
    QProgressBar* bar_;
    int step_ = 10;  // the Windows default
};
