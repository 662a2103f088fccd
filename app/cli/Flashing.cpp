#include "app/cli/Flashing.h"

#include <vector>

#include "app/common/DeviceTexts.h"
#include "platform/BridgeLatency.h"

namespace cli {

std::string PackageVersion(const PackageHeader& header) {
    FirmwareVersion version;
    version.Major = static_cast<uint8_t>(header.Major());
    version.Minor = static_cast<uint8_t>(header.Minor());
    version.Letter = header.Target();
    return DeviceVersionText(version);
}

Admission Admit(const Session& s, const PackageHeader& header, const Found& found) {
    const char target = header.Target();
    const std::string from = DeviceVersionText(found.version);
    const std::string to = PackageVersion(header);
    if (!(found.flags & kHwCurrentCommandFamily) ||
        PackageFitsDevice(found.flags, target) != PackageFit::Fits)
        return {kCliBadPackage, "the package (" + to + " for " + TargetHardwareText(target) +
                                    ") does not fit the " + found.description};
    const int order = header.Major() != found.version.Major
                          ? (header.Major() < found.version.Major ? -1 : 1)
                          : (header.Minor() < found.version.Minor   ? -1
                             : header.Minor() > found.version.Minor ? 1
                                                                    : 0);
    if (order == 0 && !s.args.allowReinstall)
        return {kCliFailed,
                "the device already has " + from + "; --allow-reinstall flashes it again"};
    if (order < 0 && !s.args.allowOlder)
        return {kCliFailed, "the package (" + to + ") is older than the device's " + from +
                                "; --allow-older flashes it anyway"};
    return {};
}

Raised RaiseForUpload(BKQuillex& device, uint32_t flags) {
    Raised r;
    if (!(flags & kHwUsb)) {
        r.said =
            "The device is not on USB: staying at " + std::to_string(kStartLinkRate) + " baud.";
        return r;
    }
    std::vector<LinkRateAttempt> tried;
    r.lost = device.RaiseLinkRate(&tried) != QX_S_OK;
    r.rate = LinkRateOfBaudCode(static_cast<int>(device.UsbBaudCode));
    std::string why;
    for (const LinkRateAttempt& a : tried) {
        if (a.outcome == RateTrial::Carried)
            continue;
        why += why.empty() ? "" : "; ";
        why += a.outcome == RateTrial::Refused
                   ? "the device did not take " + std::to_string(a.rate) + " baud"
                   : "no reply came through at " + std::to_string(a.rate) +
                         " baud (the port's bridge may not reach it)";
    }
    if (r.lost)
        r.said = "The device answers at no link rate since " + why +
                 ": nothing was sent; replug it and update without --fast.";
    else if (r.rate == kStartLinkRate)
        r.said = "Going on at " + std::to_string(kStartLinkRate) + " baud: " + why + ".";
    else
        r.said = "Link rate raised to " + std::to_string(r.rate) + " baud for the upload" +
                 (why.empty() ? "." : ": " + why + ".");
    return r;
}

void AddExplanation(const Flashed& f, Json* entry) {
    if (!f.explained)
        return;
    (*entry)["stage"] = f.explained->stage;
    (*entry)["stopped"] = f.explained->stopped;
    (*entry)["blocks_acknowledged"] = f.blocksAcknowledged;
    (*entry)["device_state"] = f.explained->deviceState;
    (*entry)["hint"] = f.explained->hint;
}

Flashed FlashAndReadBack(BKQuillex& device, const Found& found, const Package& package,
                         ui::ProgressBar* progress) {
    const PackageHeader& header = package.header;
    Flashed f;
    // A block per tick of the bridge's timer unless it goes down to 1 ms, for
    // the upload and the read-back after it (a caller that holds it already
    // finds it down, or has told the user).
    const platform::LowLatencyHold lowLatency(found.path);
    f.bridge = BridgeAdvice(lowLatency, package.BodySize());
    const int result = device.UpdateFirmware(package, progress);
    f.result = ResultCodeName(result);
    f.blocksAcknowledged = device.LastUpload().blocksAcknowledged;
    // Back to the rate every device starts at, also after a failure.
    if (device.UsbBaudCode != kBaudCode115200)
        device.SetUSBBaud(kBaudCode115200, 0);
    if (result != QX_S_OK) {
        device.ClosePort();
        f.code = ExitCodeForResult(result);
        f.message = ResultBoxFor(result).text;
        f.explained = ExplainUpload(result, device.LastUpload());
        return f;
    }
    FirmwareVersion now{};
    // On the path the device was found on: in a table of the system's ports
    // the COM numbers move when another device is plugged or pulled.
    const bool again = device.DetectHardwareOnPath(found.path.c_str(), nullptr, 0, &now) != 0;
    device.ClosePort();
    if (!again) {
        f.code = kCliNoDevice;
        f.message =
            "the device took the update but was not found again; its new version is "
            "unknown";
        f.explained = ExplainReadBack("");
        return f;
    }
    f.now = DeviceVersionText(now);
    if (now.Major != header.Major() || now.Minor != header.Minor() ||
        now.Letter != header.Target()) {
        f.code = kCliFailed;
        f.message =
            "the device reports " + f.now + " after the update, not " + PackageVersion(header);
        f.explained = ExplainReadBack(f.now);
        return f;
    }
    f.message = std::string(ResultBoxFor(QX_S_OK).text) + f.now;
    return f;
}

}  // namespace cli
