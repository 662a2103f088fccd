// Finding the device: the version request "VV" (answered by major, minor,
// letter), the port scan over COM1..COM255 at 115200, 921600 and 19200
// baud, and the hardware flag word from the configuration memory or, where
// that is silent, from the version letter.
#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"
#include "platform/Thread.h"
#include "util/BoundedText.h"

namespace {

constexpr int kPortCount = 255;
constexpr int kScanBaud = 115200;
constexpr int kSlowScanBaud = 19200;
constexpr int kHighPortPauseMs = 60;
constexpr int kFirstHighPortIndex = 4;  // COM5
// The interface letter at configuration address 4.
constexpr uint8_t kInterfaceBluetooth = 'B';
constexpr uint8_t kInterfaceSerial = 'S';
constexpr uint8_t kInterfaceUsb = 'U';

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsVersionReplyValid(const FirmwareVersion& v) {
    if (v.Major == 'V' && v.Minor == 'V')
        return false;  // the request echoed back
    if (v.Major == 0 && v.Minor == 0)
        return false;
    return IsAsciiLetterOrDigit(v.Letter);
}

}  // namespace

int BKQuillex::RequestFirmwareVersion(::FirmwareVersion* out) {
    int result = QX_S_OK;
    bool locked = false;
    if (!PortOpen) {
        result = QX_E_PORT_NOT_INITIALIZED;
    } else {
        Trace(TraceTarget, "BKQuillex: Firmware Version string requested");
        if (LockPort(kPortLockWaitMs) != QX_S_OK) {
            result = QX_E_PORT_BUSY;
        } else {
            locked = true;
            SetReadTimeout(kLinkRateReadTimeoutMs);
            FirmwareVersion = {};
            const uint8_t request[2] = {'V', 'V'};
            result = SendRequest(request, sizeof request);
            if (result == QX_S_OK) {
                uint8_t reply[3] = {};
                bool failed = false;
                int got = ReadPortReporting(reply, 3, &failed);
                // Whatever arrived is kept, valid or not.
                FirmwareVersion.Major = reply[0];
                FirmwareVersion.Minor = reply[1];
                FirmwareVersion.Letter = static_cast<char>(reply[2]);
                if (failed) {
                    result = QX_E_COMM_READ_FAILURE;
                } else if (got < 3 || !IsVersionReplyValid(FirmwareVersion)) {
                    result = QX_E_INVALID_RESPONSE;
                } else if (out != nullptr) {
                    *out = FirmwareVersion;
                }
            }
        }
    }
    // A busy port belongs to another exchange, whose time-out stays as it is.
    if (result != QX_E_PORT_BUSY)
        SetReadTimeout(kDefaultReadTimeoutMs);
    if (locked)
        UnlockPort();
    return result;
}

bool BKQuillex::ProbeScanPort(int index, bool restoreLastRate) {
    return ProbeNamedPort(platform::PortTable::ComName(index + 1).c_str(),
                          index >= kFirstHighPortIndex, restoreLastRate);
}

bool BKQuillex::ProbeNamedPort(const char* name, bool highPort, bool restoreLastRate) {
    if (InitPort(name, kScanBaud) != QX_S_OK)
        return false;
    if (highPort)
        platform::SleepMilliseconds(kHighPortPauseMs);
    if (restoreLastRate)
        SetUSBBaud(static_cast<int>(LastBaudCode), 1);
    bool found = RequestFirmwareVersion(nullptr) == QX_S_OK;
    if (!found && SetUSBBaud(kBaudCode921600, 1) >= 0)
        found = RequestFirmwareVersion(nullptr) == QX_S_OK;
    if (!found) {
        SetUSBBaud(kBaudCode115200, 1);
        if (SetPortBaud(kSlowScanBaud))
            found = RequestFirmwareVersion(nullptr) == QX_S_OK;
    }
    return found;
}

uint32_t BKQuillex::ReportDetection(bool found, char* description, int descriptionSize,
                                    ::FirmwareVersion* version) {
    if (!found) {
        if (description != nullptr && descriptionSize > 0)
            description[0] = '\0';
        FirmwareVersion = {};
        return HardwareFlags;
    }
    HardwareFlags = IdentifyHardware(&FirmwareVersion);
    if (description != nullptr) {
        GetHardwareDescription(HardwareFlags, &FirmwareVersion, description, descriptionSize);
    }
    if (version != nullptr)
        *version = FirmwareVersion;
    return HardwareFlags;
}

uint32_t BKQuillex::DetectHardware(char* description, int descriptionSize,
                                   ::FirmwareVersion* version, int options) {
    const bool fromFirstPort = (options & kDetectFromFirstPort) != 0;
    HardwareFlags = 0;
    int index = fromFirstPort ? 0 : static_cast<int>(LastPortIndex % kPortCount);
    bool found = false;
    for (int attempts = 0; attempts < kPortCount && !found; ++attempts) {
        found =
            ProbeScanPort(index, !fromFirstPort && static_cast<uint32_t>(index) == LastPortIndex);
        if (!found)
            index = index >= kPortCount - 1 ? 0 : index + 1;
    }
    if (found && !fromFirstPort) {
        LastPortIndex = static_cast<uint32_t>(index);
        LastBaudCode = UsbBaudCode;
    }
    return ReportDetection(found, description, descriptionSize, version);
}

uint32_t BKQuillex::DetectHardwareOnPort(int portNumber, char* description, int descriptionSize,
                                         ::FirmwareVersion* version) {
    HardwareFlags = 0;
    const bool found =
        portNumber >= 1 && portNumber <= kPortCount && ProbeScanPort(portNumber - 1, false);
    return ReportDetection(found, description, descriptionSize, version);
}

uint32_t BKQuillex::DetectHardwareOnPath(const char* path, char* description, int descriptionSize,
                                         ::FirmwareVersion* version) {
    HardwareFlags = 0;
    const bool found = path != nullptr && platform::PortTable::IsPathName(path) &&
                       ProbeNamedPort(path, false, false);
    return ReportDetection(found, description, descriptionSize, version);
}

uint32_t BKQuillex::IdentifyHardware(const ::FirmwareVersion* version) {
    HardwareFlags = 0;
    const char letter = version != nullptr ? version->Letter : 0;
    const Family* family = FamilyOfLetter(letter);
    if (family != nullptr && !family->currentCommands) {
        HardwareFlags = family->bits;
    } else if (family != nullptr) {
        HardwareFlags = kHwCurrentCommandFamily;
        uint8_t info[kHardwareVersionInfoSize] = {};
        const bool read = ReadHardwareVersion(info) == QX_S_OK;
        const Family* named = FamilyOfLetter(static_cast<char>(info[0]));
        if (read && named != nullptr && named->currentCommands) {
            HardwareFlags |= named->bits;
            switch (info[3]) {
                case kInterfaceBluetooth:
                    HardwareFlags |= kHwBluetooth;
                    break;
                case kInterfaceSerial:
                    HardwareFlags |= kHwSerialLine;
                    break;
                case kInterfaceUsb:
                    HardwareFlags |= kHwUsb;
                    break;
                default:
                    Trace(TraceTarget, "BrevikWare: Could not get communication interface type.");
            }
        } else {
            HardwareFlags |= family->fallbackBits;
        }
    }
    if (AnyFamily(HardwareFlags, &Family::banks)) {
        GetBank(nullptr, 0, 0, 0);  // active emulation bank into EmulationBank
        GetBank(nullptr, 1, 0, 0);  // read/write bank into ReadWriteBank
    }
    return HardwareFlags;
}

int BKQuillex::ReadHardwareVersion(uint8_t* out) {
    if (out == nullptr)
        return QX_E_INVALID_FUNC_PARAM;
    Trace(TraceTarget, "BKQuillex: Hardware Version Information requested");
    // One byte per request: the block lives at configuration addresses 1..7.
    for (uint16_t n = 1; n <= kHardwareVersionInfoSize; ++n)
        ReadEEPROM(out + n - 1, n, 1);
    return QX_S_OK;
}

void BKQuillex::GetHardwareDescription(uint32_t flags, const ::FirmwareVersion* version, char* text,
                                       int textSize) {
    if (text == nullptr)
        return;
    if ((flags & kHwSundral2) && (flags & kHwSundral1))
        return;
    if ((flags & kHwQuillex) && (flags & kHwVarroPell))
        return;
    // A negative size becomes a capacity the bounded operations refuse.
    const size_t capacity = static_cast<size_t>(static_cast<long long>(textSize));

    for (const Family& family : Families()) {
        if (flags & family.bit)
            BoundedCopy(text, capacity, family.name);
    }
    if (flags & kHwCurrentCommandFamily) {
        if (flags & kHwUsb) {
            BoundedAppend(text, capacity, " USB");
        } else if (flags & kHwSerialLine) {
            BoundedAppend(text, capacity, " Serial");
        } else if (flags & kHwBluetooth) {
            BoundedAppend(text, capacity, " Bluetooth");
        }
    }
    if (version != nullptr) {
        char versionText[25];
        BoundedFormat(versionText, sizeof versionText, " v%i.%i.%c", version->Major, version->Minor,
                      version->Letter);
        BoundedAppend(text, capacity, versionText);
    }
}
