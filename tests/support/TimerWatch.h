// A progress bar that notes the bridge's latency timer (the attribute file)
// as it stands at the first acknowledged block of an upload.
#pragma once

#include <fstream>
#include <string>
#include <utility>

#include "ui/ProgressBar.h"

class TimerWatch : public ui::ProgressBar {
  public:
    explicit TimerWatch(std::string attribute) : attribute_(std::move(attribute)) {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPosition(int) override {}
    void StepIt() override {
        if (during.empty())
            during = Timer(attribute_);
    }
    static std::string Timer(const std::string& file) {
        std::ifstream in(file);
        std::string value;
        in >> value;
        return value;
    }
    std::string during;

  private:
    std::string attribute_;
};
