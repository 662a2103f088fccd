// Stand-in for a progress-bar control, with the four messages long
// operations send to it (set range, set step, set position, step it).
#pragma once

namespace ui {

class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPosition(int position) = 0;
    virtual void StepIt() = 0;
};

}  // namespace ui
