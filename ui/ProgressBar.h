/// @file
/// Stand-in for a progress-bar control, with the four messages long
/// operations send to it (set range, set step, set position, step it).
#pragma once

namespace ui {

/// What a long operation reports its progress to.
class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    /// The positions from start to done.
    virtual void SetRange(int minimum, int maximum) = 0;
    /// How far StepIt advances.
    virtual void SetStep(int step) = 0;
    /// Moves to a position within the range.
    virtual void SetPosition(int position) = 0;
    /// Advances by the step.
    virtual void StepIt() = 0;
};

}  // namespace ui
