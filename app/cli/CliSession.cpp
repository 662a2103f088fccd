#include "app/cli/CliSession.h"

#include "platform/PortTable.h"

#include <algorithm>
#include <cstdint>

namespace cli {

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string ForTerminal(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return PrintableText(text);
}

namespace {

// A port that has just appeared may need a moment before its device
// answers (a board powered by the same plug): for this long after a change
// the search runs again every half second as well.
constexpr auto kSettling = std::chrono::seconds(2);
constexpr int kSettlingLookMs = 500;

}  // namespace

void Session::WatchPorts() {
    portWatch = std::make_unique<platform::PortWatch>();
    const std::string named = platform::PortTable::AbsoluteName(args.port);
    if (!named.empty() && platform::PortTable::IsPathName(named.c_str()))
        portWatch->AlsoWatch(named);
}

bool Session::AwaitPortChange() {
    if (!portWatch || args.wait == 0 || Cancelled())
        return false;
    const Clock::time_point now = Clock::now();
    if (!waitSaid_) {
        waitSaid_ = true;
        waitEnds_ = now + std::chrono::seconds(args.wait);
        if (!args.json)
            std::fprintf(
                err, "brevik: waiting %sfor a device to be plugged in (Ctrl+C stops)...\n",
                args.wait > 0 ? ("up to " + std::to_string(args.wait) + " s ").c_str() : "");
    }
    // What is left of the wait, in milliseconds (-1: no limit). One look at
    // the port watch lasts at most a day, since it takes an int.
    constexpr int64_t kLongestLookMs = 24 * 3600 * 1000;
    int64_t left = -1;
    if (args.wait > 0) {
        left = std::chrono::ceil<std::chrono::milliseconds>(waitEnds_ - now).count();
        if (left <= 0) {
            waitRanOut = true;
            return false;
        }
    }
    int64_t look = left < 0 ? kLongestLookMs : std::min(left, kLongestLookMs);
    if (now < settledAt_)
        look = std::min<int64_t>(look, kSettlingLookMs);
    const bool lastLook = look == left;
    const int timeout = left < 0 && look == kLongestLookMs ? -1 : static_cast<int>(look);
    switch (portWatch->Wait(timeout, &device.CancelRequested)) {
        case platform::PortChange::Changed:
            settledAt_ = Clock::now() + kSettling;
            return true;
        case platform::PortChange::TimedOut:
            if (lastLook) {
                waitRanOut = true;
                return false;
            }
            return true;  // settling, or a long wait: look again
        case platform::PortChange::Cancelled:
            break;
    }
    return false;
}

}  // namespace cli
