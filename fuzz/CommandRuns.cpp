#include "fuzz/CommandRuns.h"

#include "platform/Environment.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "package/PackageBuilder.h"

namespace fuzz {
namespace {

struct Family {
    uint32_t flags;
    FirmwareVersion version;
};

constexpr Family kFamilies[4] = {
    {0x8485, {2, 12, 'Q'}},   // Quillex USB, bulk commands
    {0x8485, {2, 11, 'Q'}},   // Quillex USB, block packets only
    {0x8091, {10, 12, 'L'}},  // Tessaly USB
    {0x2081, {1, 5, 'D'}},    // Dunmarra USB
};

std::vector<uint8_t> Pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return bytes;
}

const std::string& UploadPackage() {
    static const std::string path = [] {
        const std::string file = ScratchFile("upload.bfw");
        WritePackageFile(file, FirmwarePackage(kFuzzPackageBody - 1, 2, 13, 'Q'));
        return file;
    }();
    return path;
}

}  // namespace

std::string ScratchFile(const std::string& name) {
    static const std::string folder = [] {
        const std::string made = platform::MakeScratchFolder("brevik-fuzz-");
        return made.empty() ? std::string(".") : made;
    }();
    return folder + "/" + name;
}

void PrepareDevice(BKQuillex* device, uint8_t variant) {
    const Family& family = kFamilies[variant & 3];
    device->HardwareFlags = family.flags;
    device->FirmwareVersion = family.version;
    device->EmulationBank = (variant & 4) != 0 ? 8 : 0;
    device->ReadWriteBank = 0;
    platform::Timeouts timeouts;
    timeouts.ReadIntervalTimeout = 200;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = kDefaultReadTimeoutMs;
    timeouts.WriteTotalTimeoutConstant = 300;
    device->PortHandle->SetTimeouts(timeouts);
}

uint32_t CurrentReadTimeout(const BKQuillex& device) {
    platform::Timeouts timeouts;
    return device.PortHandle && device.PortHandle->GetTimeouts(&timeouts)
               ? timeouts.ReadTotalTimeoutConstant
               : 0;
}

CommandRun RunCommand(BKQuillex* device, uint8_t command, uint8_t variant,
                      CountingProgressBar* bar) {
    const uint32_t options = ((variant & 8) != 0 ? QX_XFER_PLAIN : 0u) |
                             ((variant & 16) != 0 ? QX_XFER_ALT_WRITE : 0u) |
                             ((variant & 32) != 0 ? QX_XFER_WRITE_LOWER : 0u);
    CommandRun run;
    std::vector<uint8_t> buffer(8192 + 16);
    const std::vector<uint8_t> source = Pattern(8192);
    switch (command) {
        case kVersion: {
            FirmwareVersion version;
            run.result = device->RequestFirmwareVersion(&version);
            break;
        }
        case kIdentify:
            run.result =
                static_cast<int>(device->IdentifyHardware(&device->FirmwareVersion) & 0xFFFF);
            break;
        case kConfigMemory:
            run.result = device->ReadEEPROM(buffer.data(), 1, 7);
            if (run.result == QX_S_OK)
                run.result = device->WriteEEPROM(source.data(), 0x10, 8);
            break;
        case kBanks: {
            int32_t bank = 0;
            run.result = device->GetBank(&bank, 1, 0, 0);
            if (run.result >= 0)
                run.result = device->SetBank(3, 1, 0, 0);
            break;
        }
        case kUpload:
            run.result = device->UpdateFirmware(UploadPackage().c_str(), bar);
            run.holdsTransferState = true;
            break;
        case kBlockRead:
            run.result =
                device->ReadBlock(buffer.data(), 600, 0x100, options | QX_XFER_NO_BULK, bar);
            run.holdsTransferState = true;
            break;
        case kBulkRead:
            run.result = device->ReadBlock(buffer.data(), 4096, 0x1000, options, bar);
            run.holdsTransferState = true;
            break;
        case kBlockWrite:
            run.result =
                device->WriteBlock(source.data(), 300, 0x100, options | QX_XFER_NO_BULK, bar);
            run.holdsTransferState = true;
            break;
        case kBulkWrite:
            run.result = device->BulkWrite(source.data(), 8192, 0, options, bar);
            run.holdsTransferState = true;
            break;
        case kVerify:
            run.result = device->Verify(source.data(), 0x100, 600, bar);
            run.holdsTransferState = true;
            break;
        case kStatus: {
            uint16_t last = 0, middle = 0, first = 0;
            run.result = device->QueryStatus();
            if (run.result >= -1)
                run.result = device->ReadStatusWords(&last, &middle, &first);
            break;
        }
        case kIdentity:
            run.result = device->GetSerialNumber(buffer.data(), 9);
            if (run.result >= 0)
                run.result = device->SetVendorID(0x42);
            break;
        case kDataLink: {
            const uint8_t probe[4] = {1, 2, 3, 4};
            run.result = device->LinkExchange((variant & 8) != 0 ? 160 : 19200, 4, 4, probe,
                                              buffer.data(), (variant & 16) != 0);
            if (run.result >= 0)
                run.result = device->IsConnected(probe, 4, 4);
            break;
        }
        case kEmulationMode:
            run.result = device->GetEmulationMode();
            if (run.result >= 0)
                run.result = device->SetEmulationMode(2);
            break;
        case kRaw: {
            int moved = 0;
            run.result = device->SendRaw(source.data(), 16, 1, &moved);
            if (run.result >= 0)
                run.result = device->ReadRaw(buffer.data(), 16, 0, &moved);
            break;
        }
        default:
            break;
    }
    return run;
}

}  // namespace fuzz
