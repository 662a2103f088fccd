// What a failed update did and what it left on the device, told from how
// far the upload came: the device stores an image only once it has sent its
// final status, so an upload that stops before then leaves the old firmware.
#pragma once

#include <string>

#include "devicelink/BKQuillex.h"

namespace flash {

struct UpdateExplanation {
    std::string stage;        // checks, port, command, block, final_status, read_back
    std::string stopped;      // where, for people: "at block 5 of 12 (4 acknowledged, ...)"
    std::string deviceState;  // unchanged, old_firmware, flash_failed, unknown, other_firmware
    std::string state;        // what the device is left with, for people: "keeps its old ..."
    std::string hint;         // the next step
    // The device may already report the package's version (it stored some
    // or all of the image, or nobody knows): a retry is then the same
    // version again, which the command line lets through with
    // --allow-reinstall and the dialog asks about.
    bool retryIsAReinstall = false;
};

// An upload that ended with result (not QX_S_OK) after coming as far as record says.
UpdateExplanation ExplainUpload(int result, const UploadRecord& record);

// An upload whose final status said success, then a read-back that found no
// device (nowVersion empty) or one that runs nowVersion instead.
UpdateExplanation ExplainReadBack(const std::string& nowVersion);

}  // namespace flash
