// Firmware upload. Command: 'f', n high, n low, checksum (n = body length,
// 65536 as 0); a family with the double upload command (Dunmarra) takes it twice. The device
// answers 'O', then the body goes out in 256-byte blocks, each answered by one byte ('O' taken, '?'
// unknown, 'R' buffering failed, anything else passed over); the sum of the whole body rides at the
// end of the last transmission. A final status byte ends the upload. Every reply may take up to 6
// seconds.
#include "devicelink/FirmwareUpdate.h"

#include <algorithm>

#include "package/PackageFile.h"

namespace {

constexpr uint8_t kUploadCommand = 'f';
constexpr size_t kBlockSize = 256;
// A block reply (and final status) of a device that could not buffer it.
constexpr uint8_t kBufferingFailed = 'R';

// What the final status byte of an upload says; any other byte ('C', 'O'
// and bytes outside the table) is success.
struct FinalStatus {
    uint8_t byte;
    int result;
};
constexpr FinalStatus kFinalStatuses[] = {
    {kUnknownCommand, QX_E_REQUEST_NOT_SUPPORTED},
    {'E', QX_E_EXTERNAL_CS_INVALID},
    {'F', QX_E_INVALID_RESPONSE},
    {'H', QX_E_INVALID_HARDWARE_ID},
    {'I', QX_E_INTERNAL_CS_INVALID},
    {kBufferingFailed, QX_E_NVRAM_BUFFERING_FAILED},
    {'V', QX_E_INVALID_VERSION},
    {'W', QX_E_FIRMWARE_FLASH_FAILED},
};

int FinalStatusResult(uint8_t status) {
    for (const FinalStatus& s : kFinalStatuses) {
        if (s.byte == status)
            return s.result;
    }
    return QX_S_OK;
}

// Whether a loaded package may go out: a result code.
int PackageResult(const Package& package) {
    switch (package.access) {
        case Package::Access::Readable:
            return package.Uploadable() ? QX_S_OK : QX_E_INVALID_FIRMWARE_IMAGE;
        case Package::Access::Unreadable:
            return QX_E_COMM_READ_FAILURE;
        default:
            return QX_E_GENERAL_ERROR;
    }
}

}  // namespace

int BKQuillex::UpdateFirmware(const char* path, ui::ProgressBar* progress) {
    lastUpload_ = UploadRecord{};
    if (path == nullptr)
        return QX_E_GENERAL_ERROR;
    if (!(HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    if (!PortOpen || !PortHandle)
        return QX_E_PORT_NOT_INITIALIZED;
    // Nobody can change or open the file while its bytes go out.
    const HeldPackageFile held(path);
    if (!held.Held()) {
        if (progress != nullptr)
            progress->SetPosition(0);
        return QX_E_GENERAL_ERROR;
    }
    return UpdateFirmware(held.Loaded(), progress);
}

int BKQuillex::UpdateFirmware(const Package& package, ui::ProgressBar* progress) {
    UploadRecord& record = lastUpload_;
    record = UploadRecord{};
    if (!(HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    if (!PortOpen || !PortHandle)
        return QX_E_PORT_NOT_INITIALIZED;

    int result = PackageResult(package);
    bool locked = false;
    if (result == QX_S_OK) {
        const uint8_t* body = package.Body();
        const size_t n = package.bytes.size() - kPackageHeaderSize;
        const size_t fullBlocks = n / kBlockSize;
        const size_t rest = n % kBlockSize;
        record.blocks = static_cast<uint32_t>(fullBlocks + (rest > 0 ? 1 : 0));
        if (progress != nullptr) {
            progress->SetRange(0, static_cast<int>(fullBlocks + 1));
            progress->SetStep(1);
            progress->SetPosition(0);
        }
        record.stage = UploadStage::Port;
        if (!LockForTransfer(progress)) {
            result = QX_E_PORT_BUSY;
        } else {
            locked = true;
            SetReadTimeout(kLongReadTimeoutMs);
            PortHandle->Purge(platform::kPurgeTxClear | platform::kPurgeRxClear);

            // Raw transfers: a whole image is not dumped into the trace.
            auto send = [this, &record](const uint8_t* bytes, size_t count) {
                uint32_t written = 0;
                const bool whole =
                    PortHandle->Write(bytes, static_cast<uint32_t>(count), &written) &&
                    written == count;
                record.bytesSent += written;
                return whole ? QX_S_OK : QX_E_COMM_WRITE_FAILURE;
            };
            // A read that times out without a byte is its own failure, never
            // a stale or made-up reply.
            auto receive = [this](uint8_t* reply) {
                uint32_t got = 0;
                if (!PortHandle->Read(reply, 1, &got))
                    return QX_E_COMM_READ_FAILURE;
                return got == 1 ? QX_S_OK : QX_E_COMM_READ_TIMEOUT;
            };
            // One block reply: 'O' steps the bar, '?' and 'R' end the upload.
            auto judgeBlockReply = [&]() {
                uint8_t reply = 0;
                int r = receive(&reply);
                if (r != QX_S_OK)
                    return r;
                if (reply == kUnknownCommand)
                    return QX_E_REQUEST_NOT_SUPPORTED;
                if (reply == kBufferingFailed)
                    return QX_E_NVRAM_BUFFERING_FAILED;
                if (reply == kAck) {
                    ++record.blocksAcknowledged;
                    if (progress != nullptr)
                        progress->StepIt();
                }
                return QX_S_OK;
            };

            const uint8_t external = Checksum8(body, static_cast<int>(n));
            uint8_t command[4] = {kUploadCommand, static_cast<uint8_t>((n >> 8) & 0xFF),
                                  static_cast<uint8_t>(n & 0xFF), 0};
            command[3] = Checksum8(command, 3);
            record.stage = UploadStage::Command;
            result = send(command, sizeof command);
            if (const Family* family = FamilyOfLetter(FirmwareVersion.Letter);
                result == QX_S_OK && family != nullptr && family->doubleUploadCommand)
                result = send(command, sizeof command);
            if (result == QX_S_OK) {
                uint8_t reply = 0;
                result = receive(&reply);
                if (result == QX_S_OK && reply != kAck)
                    result = QX_E_INVALID_RESPONSE;
            }
            uint8_t block[kBlockSize + 1] = {};
            if (result == QX_S_OK)
                record.stage = UploadStage::Blocks;
            for (size_t k = 0; k < fullBlocks && result == QX_S_OK; ++k) {
                std::copy(body + k * kBlockSize, body + (k + 1) * kBlockSize, block);
                size_t length = kBlockSize;
                if (k == fullBlocks - 1 && rest == 0)
                    block[length++] = external;
                result = send(block, length);
                if (result == QX_S_OK) {
                    ++record.blocksSent;
                    result = judgeBlockReply();
                }
            }
            if (result == QX_S_OK && rest > 0) {
                std::copy(body + fullBlocks * kBlockSize, body + n, block);
                block[rest] = external;
                result = send(block, rest + 1);
                if (result == QX_S_OK) {
                    ++record.blocksSent;
                    result = judgeBlockReply();
                }
            }
            if (result == QX_S_OK) {
                record.stage = UploadStage::FinalStatus;
                uint8_t status = 0;
                result = receive(&status);
                if (result == QX_S_OK) {
                    record.finalStatus = status;
                    result = FinalStatusResult(status);
                    if (result == QX_S_OK)
                        record.stage = UploadStage::Finished;
                }
            }
        }
    }
    if (locked)
        return FinishTransfer(result, progress, false);
    if (progress != nullptr)
        progress->SetPosition(0);
    return result;
}

int FirmwareUpdateProc(FirmwareUpdateParams* params) {
    BKQuillex* device = params->Device;
    const int result = params->Loaded
                           ? device->UpdateFirmware(*params->Loaded, params->ProgressControl)
                           : QX_E_INVALID_FIRMWARE_IMAGE;
    Trace(device->TraceTarget, "FirmwareUpdateProc completed with result: %i", result);
    if (params->NotifyWindow != nullptr)
        params->NotifyWindow->Send(params->NotifyMessage, 0, result);
    return 1;
}
