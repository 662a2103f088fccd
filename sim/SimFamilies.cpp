#include "sim/SimFamilies.h"

#include <algorithm>
#include <iterator>

#include "sim/VirtualDevice.h"

namespace sim {
namespace {

constexpr uint8_t kNever = 0xFF;

// Letters 'Q', 'N', 'P', 'L' and 'D' speak the current forms; '1', '2'
// and 'K' the older ones, which the virtual device answers with '?'.
constexpr SimFamily kFamilies[] = {
    {'Q', "Quillex", true, false, kBankedMemorySize, 2, 12},
    {'N', "Nerrin", true, false, kBankedMemorySize, kNever, 0},
    {'P', "Varro & Pell", true, false, kBankedMemorySize, kNever, 0},
    {'L', "Tessaly", true, false, kBankedMemorySize, 10, 12},
    {'D', "Dunmarra", true, true, kDunmarraMemorySize, 0, 0},
    {'K', "Vantelle", false, false, kBankedMemorySize, kNever, 0},
    {'1', "Sundral I", false, false, kBankedMemorySize, kNever, 0},
    {'2', "Sundral II", false, false, kBankedMemorySize, kNever, 0},
};
constexpr SimFamily kUnknown = {0, "virtual", false, false, kBankedMemorySize, kNever, 0};

}  // namespace

const SimFamily& SimFamilyOf(char letter) {
    const auto found = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                                    [letter](const SimFamily& f) { return f.letter == letter; });
    return found != std::end(kFamilies) ? *found : kUnknown;
}

bool CarriesBulk(const SimFamily& family, uint8_t major, uint8_t minor) {
    if (family.bulkFromMajor == kNever)
        return false;
    return major > family.bulkFromMajor ||
           (major == family.bulkFromMajor && minor >= family.bulkFromMinor);
}

}  // namespace sim
