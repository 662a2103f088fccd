#include "app/common/ProgressFigures.h"

#include <algorithm>
#include <cstdio>

ProgressFigures FiguresAt(double fraction, uint64_t totalBytes, double seconds) {
    ProgressFigures f;
    fraction = std::clamp(fraction, 0.0, 1.0);
    f.percent = static_cast<int>(fraction * 100.0 + 1e-9);
    f.totalBytes = static_cast<double>(totalBytes);
    f.doneBytes = fraction * f.totalBytes;
    f.seconds = seconds;
    f.rate = seconds > 0 ? f.doneBytes / seconds : 0;
    if (f.rate > 0 && fraction < 1.0)
        f.secondsLeft = (f.totalBytes - f.doneBytes) / f.rate;
    return f;
}

std::string TimeLeftText(const ProgressFigures& figures) {
    if (!figures.secondsLeft)
        return "";
    char text[32];
    if (*figures.secondsLeft < 1)
        return "<1 s left";
    std::snprintf(text, sizeof text, "%.0f s left", *figures.secondsLeft);
    return text;
}

std::string AmountText(double bytes) {
    char text[32];
    if (bytes >= 1024.0 * 1024.0)
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    return text;
}
