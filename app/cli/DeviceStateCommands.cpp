#include "app/cli/DeviceStateCommands.h"

#include "app/cli/DeviceFinding.h"
#include "app/cli/MemoryAccess.h"

namespace cli {
namespace {

// The family a flag word names, as people know it: the last row whose bit
// is set, as the device's description reads them.
std::string FamilyName(uint32_t flags) {
    const char* name = "device of this family";
    for (const Family& family : Families())
        if ((flags & family.bit) != 0)
            name = family.name;
    return name;
}

// The device, found (and changed only when setting); exit code 0 or the
// failure, said. Families without what the command needs are refused
// before anything is sent.
int FindFor(Session& s, bool setting, bool (*has)(uint32_t flags), const char* lacks) {
    int refusal = kCliSucceeded;
    const Found found = FindDevice(s, setting, &refusal);
    if (refusal != kCliSucceeded)
        return refusal;
    if (found.flags == 0)
        return NoDevice(s);
    if (!has(found.flags)) {
        s.device.ClosePort();
        return s.Fail(kCliDeviceRefused,
                      "a " + FamilyName(found.flags) + " has " + lacks + "; nothing was sent");
    }
    if (setting)
        if (std::optional<int> shared = SharedPort(s, found.port))
            return *shared;
    return kCliSucceeded;
}

bool HasBanks(uint32_t flags) {
    return AnyFamily(flags, &Family::banks);
}
bool HasIdentityCommands(uint32_t flags) {
    return AnyFamily(flags, &Family::identityCommands);
}
bool HasStatusWords(uint32_t flags) {
    return (flags & kHwCurrentCommandFamily) != 0;
}

// A command the device answered with result, done or said as failed.
int Answered(Session& s, int result, const char* what) {
    if (result == QX_S_OK)
        return kCliSucceeded;
    if (result == QX_E_REQUEST_NOT_SUPPORTED) {
        s.device.ClosePort();
        return s.Fail(kCliDeviceRefused,
                      std::string(what) + ": the device's firmware does not carry the command");
    }
    return TransferFailed(s, result, what);
}

// The emulation bank a Tessaly may be set to: 0 to 7, or 8 for the whole of
// its memory as one image.
constexpr uint32_t kLargestBank = 8;

}  // namespace

int Bank(Session& s) {
    const std::string& given = s.args.operands[0];
    uint32_t bank = 0;
    if (!given.empty() && (!ParseCliNumber(given, &bank) || bank > kLargestBank))
        return s.Fail(kCliUsageError,
                      "bank takes N from 0 to 7, or 8 for the whole memory as "
                      "one image, not '" +
                          given + "'");
    if (const int failed = FindFor(s, !given.empty(), HasBanks, "no banks"); failed != 0)
        return failed;
    if (!given.empty()) {
        if (const int failed =
                Answered(s, s.device.SetBank(static_cast<int>(bank), 0, 0, 0), "bank");
            failed != 0)
            return failed;
        s.device.ClosePort();
        s.doc["bank"] = {{"emulation", bank}};
        s.Say("Emulation bank set to %u", bank);
        return kCliSucceeded;
    }
    int32_t emulation = 0, readWrite = 0;
    int result = s.device.GetBank(&emulation, 0, 0, 0);
    if (result == QX_S_OK)
        result = s.device.GetBank(&readWrite, 1, 0, 0);
    if (const int failed = Answered(s, result, "bank"); failed != 0)
        return failed;
    s.device.ClosePort();
    s.doc["bank"] = {{"emulation", emulation}, {"read_write", readWrite}};
    s.Say("Emulation bank %d%s (read/write bank %d)", emulation,
          emulation == static_cast<int32_t>(kLargestBank) ? ": the whole memory as one image" : "",
          readWrite);
    return kCliSucceeded;
}

int Emulate(Session& s) {
    const std::string& given = s.args.operands[0];
    if (!given.empty() && given != "E" && given != "T")
        return s.Fail(kCliUsageError, "emulate takes E or T, not '" + given + "'");
    if (const int failed = FindFor(s, !given.empty(), HasIdentityCommands, "no emulation modes");
        failed != 0)
        return failed;
    if (!given.empty()) {
        const int mode = given == "E" ? 1 : 2;
        if (const int failed = Answered(s, s.device.SetEmulationMode(mode), "emulate"); failed != 0)
            return failed;
        s.device.ClosePort();
        s.doc["emulation_mode"] = given;
        s.Say("Emulation mode set to %s", given.c_str());
        return kCliSucceeded;
    }
    const int mode = s.device.GetEmulationMode();
    s.device.ClosePort();
    if (mode != 1 && mode != 2)
        return s.Fail(kCliDeviceRefused, "emulate: the device did not say its emulation mode");
    s.doc["emulation_mode"] = mode == 1 ? "E" : "T";
    s.Say("Emulation mode %s", mode == 1 ? "E" : "T");
    return kCliSucceeded;
}

int SerialNumber(Session& s) {
    if (const int failed = FindFor(s, false, HasIdentityCommands, "no serial number"); failed != 0)
        return failed;
    uint8_t serial[9] = {};
    if (const int failed = Answered(s, s.device.GetSerialNumber(serial, 9), "serial"); failed != 0)
        return failed;
    s.device.ClosePort();
    std::string text;
    for (uint8_t byte : serial) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    s.doc["serial"] = text;
    s.Say("Serial number %s", text.c_str());
    return kCliSucceeded;
}

int Status(Session& s) {
    if (const int failed = FindFor(s, false, HasStatusWords, "no status words"); failed != 0)
        return failed;
    const int state = s.device.QueryStatus();
    if (state == QX_E_PORT_BUSY)
        return TransferFailed(s, state, "status");
    uint16_t last = 0, middle = 0, first = 0;
    if (const int failed = Answered(s, s.device.ReadStatusWords(&last, &middle, &first), "status");
        failed != 0)
        return failed;
    s.device.ClosePort();
    // What the device means by them is its own: they are shown as it sent them.
    const char* said = state == 0 ? "OO" : state == 1 ? "BB" : nullptr;
    s.doc["status"] = {{"reply", said != nullptr ? Json(said) : Json(nullptr)},
                       {"words", {first, middle, last}}};
    s.Say("Status %s, words 0x%04X 0x%04X 0x%04X", said != nullptr ? said : "(no answer)", first,
          middle, last);
    return kCliSucceeded;
}

}  // namespace cli
