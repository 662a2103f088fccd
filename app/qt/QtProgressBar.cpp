#include "app/qt/QtProgressBar.h"

#include "gui/qt/GuiThread.h"

void QtProgressBar::SetRange(int minimum, int maximum) {
    RunOnOwnerThread(bar_, [=, this] { bar_->setRange(minimum, maximum); });
}

void QtProgressBar::SetStep(int step) {
    RunOnOwnerThread(bar_, [=, this] { step_ = step; });
}

void QtProgressBar::SetPosition(int position) {
    RunOnOwnerThread(bar_, [=, this] { bar_->setValue(position); });
}

void QtProgressBar::StepIt() {
    RunOnOwnerThread(bar_, [this] {
        const int next = bar_->value() + step_;
        bar_->setValue(next > bar_->maximum() ? bar_->minimum() : next);
    });
}
