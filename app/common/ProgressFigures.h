// How far a long piece of work has come, as every front end tells it: the
// percent, the bytes done, the rate so far and the time left, from the share
// done and the time since it began. The console bar and the dialog's progress
// line read the same figures.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

struct ProgressFigures {
    int percent = 0;
    double doneBytes = 0;
    double totalBytes = 0;
    double seconds = 0;  // since the work began
    double rate = 0;     // bytes per second so far; 0 before there is one
    // Only once there is a rate to tell it by, and not once all is done.
    std::optional<double> secondsLeft;
};

// The figures when fraction (0..1) of totalBytes is done, seconds after the
// start.
ProgressFigures FiguresAt(double fraction, uint64_t totalBytes, double seconds);

// "12 s left", "<1 s left", or "" while there is no rate to tell by.
std::string TimeLeftText(const ProgressFigures& figures);

// "32.0 KiB", "1.5 MiB".
std::string AmountText(double bytes);
