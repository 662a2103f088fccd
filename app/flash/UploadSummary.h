// How fast an upload went and what took the time beyond the wire's own:
// "64.0 KiB in 0.97 s, 66.0 KiB/s, 73% of the 921600-baud wire; the rest is
// one USB frame per block". Every front end says it after an upload.
#pragma once

#include <cstdint>
#include <string>

namespace flash {

struct UploadFigures {
    uint64_t bytes = 0;      // the image's bytes sent
    double seconds = 0;      // from the upload command to the final status
    int baud = 0;            // the link rate of the upload
    uint32_t blocks = 0;     // blocks sent
    int latencyTimerMs = 0;  // the bridge's timer in effect (0: none known)
};

std::string UploadSummary(const UploadFigures& figures);

// The share of the wire's rate (8N1: ten bits a byte) that was reached.
double WireShare(const UploadFigures& figures);

}  // namespace flash
