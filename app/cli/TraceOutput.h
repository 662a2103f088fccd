// What --trace shows on stderr: the device link's trace lines, hex dumps of
// every exchange only at level 2, and for long transfers (whose bytes the
// library does not dump) a summary line per 16 acknowledged blocks.
#pragma once

#include <cstdio>
#include <string>

#include "app/cli/ConsoleProgressBar.h"
#include "ui/TextControl.h"

class TraceOutput : public ui::TextControl {
  public:
    TraceOutput(std::FILE* stream, int level) : stream_(stream), level_(level) {}
    size_t Length() const override { return length_; }
    void AppendAtEnd(const char* text) override;
    void Clear() override { length_ = 0; }

  private:
    std::FILE* stream_;
    int level_;
    size_t length_ = 0;
};

// Passes every call on to the bar it wraps and writes a trace line for every
// 16 steps and at the end of the run.
class TracedProgress : public WorkProgress {
  public:
    TracedProgress(WorkProgress* inner, std::FILE* stream) : inner_(inner), stream_(stream) {}
    void Begin(uint64_t totalBytes) override { inner_->Begin(totalBytes); }
    void End(bool completed) override { inner_->End(completed); }
    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPosition(int position) override;
    void StepIt() override;

  private:
    WorkProgress* inner_;
    std::FILE* stream_;
    int maximum_ = 0;
    int steps_ = 0;
    int reported_ = 0;
};
