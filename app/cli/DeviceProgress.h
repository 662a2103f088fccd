// Progress of work on several devices at once (update --all): on a terminal
// a line per device, redrawn together
//   "COM2  [##########..........]  50%  32.0/64.0 KiB  5.6 KiB/s"
// off a terminal the plain lines, and as JSON the events, each carrying its
// device's port; nothing when the run shows no progress.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/cli/ConsoleProgressBar.h"

namespace cli {

class DeviceProgress {
  public:
    // runProgress: the run's own bar, whose stream and style are taken;
    // labels: the devices' ports, in order; bytes: each device's work.
    DeviceProgress(ui::ProgressBar* runProgress, std::vector<std::string> labels, uint64_t bytes);
    ~DeviceProgress();
    DeviceProgress(const DeviceProgress&) = delete;
    DeviceProgress& operator=(const DeviceProgress&) = delete;

    // The progress of the device-th device; null when none is shown.
    WorkProgress* Of(size_t device);

  private:
    class Row;
    // Draws every row again over the last drawing (lock held).
    void Redraw();
    void Changed(bool force);

    std::FILE* stream_ = nullptr;
    std::vector<std::unique_ptr<ConsoleProgressBar>> lines_;  // off a terminal, or JSON
    std::vector<std::unique_ptr<Row>> rows_;                  // on a terminal
    std::mutex mutex_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace cli
