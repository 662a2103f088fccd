// The device families as the virtual device knows them, one row each: which
// command forms a firmware letter speaks and how its device differs. This is
// the simulator's own reading of the families, written apart from the device
// library's table, so that a misreading in one shows against the other.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

struct SimFamily {
    char letter;            // the firmware version's letter
    const char* name;       // "Quillex"
    bool currentForms;      // "HR"/"HW" configuration memory, banks and the upload 'f'
    bool dunmarraProtocol;  // the upload command twice, scrambled packets with 3-byte
                            // addresses, emulation modes and the serial number request
    size_t memorySize;      // device memory in bytes
    // Bulk transfers ('Z') from this firmware version on; major 0xFF: never.
    uint8_t bulkFromMajor;
    uint8_t bulkFromMinor;
};

// The row of a firmware letter; a row with currentForms false and the name
// "virtual" for a letter no family has.
const SimFamily& SimFamilyOf(char letter);

// Whether the firmware major.minor of the family carries bulk transfers.
bool CarriesBulk(const SimFamily& family, uint8_t major, uint8_t minor);

}  // namespace sim
