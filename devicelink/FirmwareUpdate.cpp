// Firmware upload. Command: 'f', n high, n low, checksum (n = body length,
// 65536 as 0); a family with the double upload command (Dunmarra) takes it twice. The device
// answers 'O', then the body goes out in 256-byte blocks, each answered by one byte ('O' taken, '?'
// unknown, 'R' buffering failed, anything else passed over); the sum of the whole body rides at the
// end of the last transmission. A final status byte ends the upload. Every reply may take up to 6
// seconds.
#include "devicelink/FirmwareUpdate.h"

#include <algorithm>

#include "package/Package.h"

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

// One upload's exchange on a port this program holds, with how far it came
// in the record. Raw transfers: a whole image is not dumped into the trace.
class Upload {
  public:
    Upload(platform::SerialPort& port, UploadRecord& record, ui::ProgressBar* progress)
        : port_(port), record_(record), progress_(progress) {}

    int Run(const uint8_t* body, size_t n, bool commandTwice) {
        int result = Command(n, commandTwice);
        if (result == QX_S_OK) {
            record_.stage = UploadStage::Blocks;
            result = Blocks(body, n);
        }
        if (result == QX_S_OK) {
            record_.stage = UploadStage::FinalStatus;
            result = FinalStatus();
        }
        return result;
    }

  private:
    int Command(size_t n, bool twice) {
        uint8_t command[4] = {kUploadCommand, static_cast<uint8_t>((n >> 8) & 0xFF),
                              static_cast<uint8_t>(n & 0xFF), 0};
        command[3] = BKQuillex::Checksum8(command, 3);
        record_.stage = UploadStage::Command;
        int result = Send(command, sizeof command);
        if (result == QX_S_OK && twice)
            result = Send(command, sizeof command);
        if (result != QX_S_OK)
            return result;
        uint8_t reply = 0;
        result = Receive(&reply);
        return result == QX_S_OK && reply != kAck ? QX_E_INVALID_RESPONSE : result;
    }

    // 256-byte blocks, the last one shorter; the body's sum rides at the end
    // of the last.
    int Blocks(const uint8_t* body, size_t n) {
        const uint8_t external = BKQuillex::Checksum8(body, static_cast<int>(n));
        uint8_t block[kBlockSize + 1] = {};
        for (size_t at = 0; at < n;) {
            const size_t length = std::min(kBlockSize, n - at);
            std::copy(body + at, body + at + length, block);
            at += length;
            const size_t sent = at == n ? length + 1 : length;
            block[length] = external;
            int result = Send(block, sent);
            if (result != QX_S_OK)
                return result;
            ++record_.blocksSent;
            if ((result = BlockReply()) != QX_S_OK)
                return result;
        }
        return QX_S_OK;
    }

    int FinalStatus() {
        uint8_t status = 0;
        const int result = Receive(&status);
        if (result != QX_S_OK)
            return result;
        record_.finalStatus = status;
        const int final = FinalStatusResult(status);
        if (final == QX_S_OK)
            record_.stage = UploadStage::Finished;
        return final;
    }

    int Send(const uint8_t* bytes, size_t count) {
        uint32_t written = 0;
        const bool whole =
            port_.Write(bytes, static_cast<uint32_t>(count), &written) && written == count;
        record_.bytesSent += written;
        return whole ? QX_S_OK : QX_E_COMM_WRITE_FAILURE;
    }

    // A read that times out without a byte is its own failure, never a stale
    // or made-up reply.
    int Receive(uint8_t* reply) {
        uint32_t got = 0;
        if (!port_.Read(reply, 1, &got))
            return QX_E_COMM_READ_FAILURE;
        return got == 1 ? QX_S_OK : QX_E_COMM_READ_TIMEOUT;
    }

    // One block reply: 'O' steps the bar, '?' and 'R' end the upload.
    int BlockReply() {
        uint8_t reply = 0;
        const int result = Receive(&reply);
        if (result != QX_S_OK)
            return result;
        if (reply == kUnknownCommand)
            return QX_E_REQUEST_NOT_SUPPORTED;
        if (reply == kBufferingFailed)
            return QX_E_NVRAM_BUFFERING_FAILED;
        if (reply == kAck) {
            ++record_.blocksAcknowledged;
            if (progress_ != nullptr)
                progress_->StepIt();
        }
        return QX_S_OK;
    }

    platform::SerialPort& port_;
    UploadRecord& record_;
    ui::ProgressBar* progress_;
};

}  // namespace

int BKQuillex::UpdateFirmware(const Package& package, ui::ProgressBar* progress) {
    UploadRecord& record = lastUpload_;
    record = UploadRecord{};
    if (!(HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    if (!PortOpen || !PortHandle)
        return QX_E_PORT_NOT_INITIALIZED;

    int result = PackageResult(package);
    if (result == QX_S_OK) {
        const size_t n = package.bytes.size() - kPackageHeaderSize;
        record.blocks = static_cast<uint32_t>((n + kBlockSize - 1) / kBlockSize);
        if (progress != nullptr) {
            progress->SetRange(0, static_cast<int>(n / kBlockSize + 1));
            progress->SetStep(1);
            progress->SetPosition(0);
        }
        record.stage = UploadStage::Port;
        if (LockForTransfer(progress)) {
            SetReadTimeout(kLongReadTimeoutMs);
            PortHandle->Purge(platform::kPurgeTxClear | platform::kPurgeRxClear);
            const Family* family = FamilyOfLetter(FirmwareVersion.Letter);
            Upload upload(*PortHandle, record, progress);
            result =
                upload.Run(package.Body(), n, family != nullptr && family->doubleUploadCommand);
            return FinishTransfer(result, progress, false);
        }
        result = QX_E_PORT_BUSY;
    }
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
