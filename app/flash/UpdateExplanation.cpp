#include "app/flash/UpdateExplanation.h"

namespace flash {
namespace {

constexpr const char* kReplugAndRetry = "replug the device and run the update again";
constexpr const char* kColdReboot =
    "cold-reboot the device (unplug it from USB and from any other power, then plug it in) "
    "and run the update again";
constexpr const char* kSeeVersion =
    "replug the device and see its version with 'brevik detect'; update again if it is not the "
    "new one, and cold-reboot it first if it does not answer";

// Final status bytes that turn the image down before it is stored, and the
// next step each calls for.
struct Refusal {
    int status;
    const char* why;
    const char* hint;
};
constexpr Refusal kRefusals[] = {
    {'?', "does not take a firmware upload now", kReplugAndRetry},
    {'E', "found the image's sum wrong (it arrived damaged)", kReplugAndRetry},
    {'F', "reported the upload as failed", kReplugAndRetry},
    {'H', "says the package is not for its hardware", "use a package made for this device"},
    {'I', "found the image's inner sum wrong", "check the package, then run the update again"},
    {'R', "could not buffer the image", kReplugAndRetry},
    {'V', "does not take this firmware version", "use a package of a version the device takes"},
};

std::string Sent(const UploadRecord& r) {
    return std::to_string(r.bytesSent) + (r.bytesSent == 1 ? " byte sent" : " bytes sent");
}

}  // namespace

UpdateExplanation ExplainUpload(int result, const UploadRecord& r) {
    UpdateExplanation e;
    switch (r.stage) {
        case UploadStage::Checks:
        case UploadStage::Port:
            e.stage = r.stage == UploadStage::Port ? "port" : "checks";
            e.stopped = r.stage == UploadStage::Port
                            ? "before anything was sent: another exchange held the port"
                            : "before anything was sent";
            e.deviceState = "unchanged";
            e.state = "is untouched and keeps its old firmware";
            e.hint = "run the update again";
            return e;
        case UploadStage::Command:
            e.stage = "command";
            e.stopped = "at the upload command, before any block (" + Sent(r) + ")";
            break;
        case UploadStage::Blocks: {
            // A block whose write failed is the one after those written
            // whole; otherwise its reply was the one that went wrong.
            uint32_t k = r.blocksSent + (result == QX_E_COMM_WRITE_FAILURE ? 1 : 0);
            k = k == 0 ? 1 : k > r.blocks ? r.blocks : k;
            e.stage = "block";
            e.stopped = "at block " + std::to_string(k) + " of " + std::to_string(r.blocks) + " (" +
                        std::to_string(r.blocksAcknowledged) + " acknowledged, " + Sent(r) + ")";
            break;
        }
        case UploadStage::FinalStatus:
        case UploadStage::Finished:
            e.stage = "final_status";
            e.stopped = "at the final status, after all " + std::to_string(r.blocks) + " blocks (" +
                        std::to_string(r.blocksAcknowledged) + " acknowledged, " + Sent(r) + ")";
            if (r.finalStatus < 0) {
                e.retryIsAReinstall = true;
                e.deviceState = "unknown";
                e.state = "may or may not have stored the image: no final status came";
                e.hint = kSeeVersion;
                return e;
            }
            if (r.finalStatus == 'W') {
                e.retryIsAReinstall = true;
                e.deviceState = "flash_failed";
                e.state =
                    "may hold no working firmware: storing the image into its flash "
                    "failed";
                e.hint = kColdReboot;
                return e;
            }
            for (const Refusal& refusal : kRefusals) {
                if (refusal.status == r.finalStatus) {
                    e.deviceState = "old_firmware";
                    e.state = std::string("keeps its old firmware: it ") + refusal.why +
                              " and did not store it";
                    e.hint = refusal.hint;
                    return e;
                }
            }
            break;
    }
    e.deviceState = "old_firmware";
    e.state =
        "keeps its old firmware: the upload stopped before the final status, and the "
        "device stores an image only then";
    e.hint = kReplugAndRetry;
    return e;
}

UpdateExplanation ExplainReadBack(const std::string& nowVersion) {
    UpdateExplanation e;
    e.stage = "read_back";
    e.stopped = "after the final status said success, reading the version back";
    if (nowVersion.empty()) {
        e.retryIsAReinstall = true;
        e.deviceState = "unknown";
        e.state = "is in an unknown state: it did not answer after the update";
        e.hint = kSeeVersion;
    } else {
        e.deviceState = "other_firmware";
        e.state = "runs " + nowVersion + ", not the package's version";
        e.hint =
            "check that the package is the one meant for this device, then run the "
            "update again";
    }
    return e;
}

}  // namespace flash
