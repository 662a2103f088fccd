// The family table. Rows stand in the order the hardware description reads
// them: where a flag word names several families, the last one named wins.
#include "devicelink/Families.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t k64KiB = 0x10000;

// clang-format off
constexpr Family kFamilies[] = {
    {.letter = '1', .name = "Sundral I", .bit = kHwSundral1,
     .bits = kHwNotVarroPell | kHwSundral1 | kHwSundral,
     .memory = {.size = 0x8000, .remaining = 0x8000, .sizeOrder = 3, .remainingOrder = 3}},
    {.letter = '2', .name = "Sundral II", .bit = kHwSundral2,
     .bits = kHwNotVarroPell | kHwSundral2 | kHwSundral,
     .memory = {.size = k64KiB, .remaining = k64KiB, .sizeOrder = 4, .remainingOrder = 4}},
    {.letter = 'K', .name = "Vantelle", .bit = kHwVantelle,
     .bits = kHwNotVarroPell | kHwVantelle | kHwDataLinkCapable, .memory = {}},
    {.letter = 'Q', .name = "Quillex", .bit = kHwQuillex, .currentCommands = true,
     .bits = kHwNotVarroPell | kHwQuillexOrVarroPell | kHwQuillex,
     .fallbackBits = kHwNotVarroPell | kHwQuillexOrVarroPell | kHwQuillex,
     .memory = {.size = k64KiB, .remaining = k64KiB, .sizeOrder = 1, .remainingOrder = 2},
     .bulkLevel = kLevelFirmware2_12},
    {.letter = 'P', .name = "Varro & Pell", .bit = kHwVarroPell, .currentCommands = true,
     .bits = kHwQuillexOrVarroPell | kHwVarroPell,
     .fallbackBits = kHwQuillexOrVarroPell | kHwVarroPell, .memory = {}},
    {.letter = 'L', .name = "Tessaly", .bit = kHwTessaly, .currentCommands = true,
     .bits = kHwNotVarroPell | kHwTessaly,
     .fallbackBits = kHwNotVarroPell | kHwUsb | kHwTessaly,
     .memory = {.size = 8 * k64KiB, .remaining = k64KiB, .sizeOrder = 2, .remainingOrder = 1},
     .banks = true, .bankLevel = kLevelFirmware10_05, .bulkLevel = kLevelFirmware10_12,
     .largeBinBank = 8},
    {.letter = 'D', .name = "Dunmarra", .bit = kHwDunmarra, .currentCommands = true,
     .bits = kHwNotVarroPell | kHwDunmarra,
     .fallbackBits = kHwNotVarroPell | kHwDunmarra | kHwUsb,
     .memory = {.size = 0, .remaining = 16 * k64KiB, .sizeOrder = 0, .remainingOrder = 5},
     .longAddresses = true, .wordTransfers = true, .scrambledFraming = true,
     .doubleUploadCommand = true, .identityCommands = true},
    {.letter = 'N', .name = "Nerrin", .bit = kHwNerrin, .currentCommands = true,
     .bits = kHwNotVarroPell | kHwNerrin,
     .fallbackBits = kHwNotVarroPell | kHwNerrin | kHwUsb, .memory = {}},
};
// clang-format on

// Firmware levels by CheckFirmwareLevel row: major, minor.
struct Level {
    uint8_t major;
    uint8_t minor;
};
constexpr Level kLevels[] = {{10, 5}, {10, 5}, {2, 7}, {2, 12}, {10, 12}};

// The family of flags with the lowest order number the rule gives (0: the
// family takes no part); null when none does.
template <typename Order>
const Family* FirstByOrder(uint32_t flags, Order order) {
    const Family* chosen = nullptr;
    for (const Family& f : kFamilies) {
        if ((flags & f.bit) && order(f) != 0 && (chosen == nullptr || order(f) < order(*chosen)))
            chosen = &f;
    }
    return chosen;
}

}  // namespace

std::span<const Family> Families() {
    return kFamilies;
}

const Family* FamilyOfLetter(char letter) {
    const auto found = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                                    [letter](const Family& f) { return f.letter == letter; });
    return found != std::end(kFamilies) && letter != 0 ? found : nullptr;
}

bool AnyFamily(uint32_t flags, bool Family::*trait) {
    return std::any_of(std::begin(kFamilies), std::end(kFamilies),
                       [&](const Family& f) { return (flags & f.bit) && f.*trait; });
}

int MemorySizeOf(uint32_t flags) {
    const Family* f = FirstByOrder(flags, [](const Family& r) { return r.memory.sizeOrder; });
    return f != nullptr ? static_cast<int>(f->memory.size) : 0;
}

int MemoryRemainingOf(uint32_t flags, uint8_t emulationBank, unsigned offset) {
    const Family* f = FirstByOrder(flags, [](const Family& r) { return r.memory.remainingOrder; });
    if (f == nullptr)
        return 0;
    const bool largeBin = f->largeBinBank != 0 && emulationBank == f->largeBinBank;
    return static_cast<int>((largeBin ? f->memory.size : f->memory.remaining) - offset);
}

bool CheckFirmwareLevel(int row, const FirmwareVersion* version) {
    if (version == nullptr || row < 1 || row > static_cast<int>(std::size(kLevels)))
        return false;
    const Level& level = kLevels[row - 1];
    // A firmware line numbers its releases upwards, so a higher major number
    // is a later release that still carries the command and a lower one an
    // earlier release that does not: compare (major, minor) as one number.
    // Callers test the hardware family first; the letter takes no part.
    if (version->Major != level.major)
        return version->Major > level.major;
    return version->Minor >= level.minor;
}

bool FirmwareTooOld(uint32_t flags, int Family::*level, const FirmwareVersion& version) {
    return std::any_of(std::begin(kFamilies), std::end(kFamilies), [&](const Family& f) {
        return (flags & f.bit) && f.*level != 0 && !CheckFirmwareLevel(f.*level, &version);
    });
}
