// Raising the link rate for a long exchange, with a confirmation at each
// rate: a bridge that cannot divide its clock to a rate garbles every byte
// there, and the device's 'O' (sent at the old rate) cannot tell.
#include "devicelink/BKQuillex.h"
#include "platform/Thread.h"

namespace {

constexpr uint32_t kRaisedRates[] = {kBaudCode921600, kBaudCode460800, kBaudCode230400};

}  // namespace

int BKQuillex::RaiseLinkRate(std::vector<LinkRateAttempt>* attempts) {
    const ::FirmwareVersion known = FirmwareVersion;
    // The version request at the rate now in use answers what was found.
    auto answersAsFound = [this, &known] {
        ::FirmwareVersion now{};
        const bool same = RequestFirmwareVersion(&now) == QX_S_OK && now.Major == known.Major &&
                          now.Minor == known.Minor && now.Letter == known.Letter;
        FirmwareVersion = known;
        return same;
    };
    for (const uint32_t code : kRaisedRates) {
        LinkRateAttempt attempt{LinkRateOfBaudCode(static_cast<int>(code)), RateTrial::Refused};
        if (SetUSBBaud(static_cast<int>(code), 0) == QX_S_OK) {
            if (answersAsFound()) {
                attempt.outcome = RateTrial::Carried;
                if (attempts)
                    attempts->push_back(attempt);
                return QX_S_OK;
            }
            // Only the port moves back: a request sent at this rate would
            // arrive garbled too.
            attempt.outcome = RateTrial::Garbled;
            Trace(TraceTarget, "BKQuillex: no reply came through at %i baud; back to 115200",
                  attempt.rate);
            UsbBaudCode = kBaudCode115200;
            SetPortBaud(LinkRateOfBaudCode(kBaudCode115200));
            platform::SleepMilliseconds(kAfterRateChangePauseMs);
            if (!answersAsFound()) {
                if (attempts)
                    attempts->push_back(attempt);
                return QX_E_DEVICE_NOT_FOUND;
            }
        }
        if (attempts)
            attempts->push_back(attempt);
    }
    return QX_S_OK;
}
