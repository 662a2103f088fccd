#include "app/flash/UploadSummary.h"

#include <cmath>
#include <cstdio>

#include "app/common/ProgressFigures.h"

namespace flash {

double WireShare(const UploadFigures& f) {
    const double wireBytesPerSecond = f.baud / 10.0;
    if (f.seconds <= 0 || wireBytesPerSecond <= 0)
        return 0;
    return (static_cast<double>(f.bytes) / f.seconds) / wireBytesPerSecond;
}

std::string UploadSummary(const UploadFigures& f) {
    if (f.seconds <= 0 || f.bytes == 0)
        return "";
    const double rate = static_cast<double>(f.bytes) / f.seconds;
    const double share = WireShare(f);
    char head[128];
    std::snprintf(head, sizeof head, "%s in %.2f s, %s/s", AmountText(f.bytes).c_str(), f.seconds,
                  AmountText(rate).c_str());
    // Faster than the wire: nothing paces this line (a pseudo-terminal).
    if (share > 1.0)
        return std::string(head) + "; faster than a " + std::to_string(f.baud) +
               "-baud wire: no wire paces this line";
    char said[256];
    std::snprintf(said, sizeof said, "%s, %.0f%% of the %d-baud wire", head, share * 100, f.baud);
    if (f.blocks == 0)
        return said;
    // What each block cost beyond its bytes on the wire.
    const double restMs = (f.seconds - f.bytes / (f.baud / 10.0)) * 1000.0 / f.blocks;
    char rest[128];
    if (restMs < 0.5)
        return std::string(said) + "; the wire itself is the limit";
    if (f.latencyTimerMs > 1 && std::fabs(restMs - f.latencyTimerMs) <= 0.35 * f.latencyTimerMs)
        std::snprintf(rest, sizeof rest, "the bridge's latency timer (%d ms a block)",
                      f.latencyTimerMs);
    else if (restMs < 1.6)
        std::snprintf(rest, sizeof rest, "one USB frame per block");
    else
        std::snprintf(rest, sizeof rest, "the device's replies (%.1f ms a block)", restMs);
    return std::string(said) + "; the rest is " + rest;
}

}  // namespace flash
