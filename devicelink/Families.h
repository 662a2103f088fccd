/// @file
/// The device families as rows of one table. Every step that depends on the
/// family (discovery's flag word, memory sizes, package targets, banks, the
/// transfers' framing, the upload command) reads its row; a new family is a
/// new row. The hardware flag word a device object keeps (HardwareFlags) is
/// made of the bits below.
#pragma once

#include <cstdint>
#include <span>

/// Major, minor and the hardware code letter of the device family.
struct FirmwareVersion {
    uint8_t Major = 0;  ///< 2 of 2.12.Q
    uint8_t Minor = 0;  ///< 12 of 2.12.Q
    char Letter = 0;    ///< Q of 2.12.Q: the family
};

/// @name Hardware flag bits of HardwareFlags
/// @{

/// Hardware flag bits of HardwareFlags.
constexpr uint32_t kHwCurrentCommandFamily = 0x0001;
constexpr uint32_t kHwSundral = 0x0002;
constexpr uint32_t kHwQuillex = 0x0004;
constexpr uint32_t kHwVarroPell = 0x0008;
constexpr uint32_t kHwTessaly = 0x0010;
constexpr uint32_t kHwSundral2 = 0x0020;
constexpr uint32_t kHwSundral1 = 0x0040;
constexpr uint32_t kHwUsb = 0x0080;
constexpr uint32_t kHwSerialLine = 0x0100;
constexpr uint32_t kHwBluetooth = 0x0200;
constexpr uint32_t kHwQuillexOrVarroPell = 0x0400;
constexpr uint32_t kHwDataLinkCapable = 0x0800;
constexpr uint32_t kHwVantelle = 0x1000;
constexpr uint32_t kHwDunmarra = 0x2000;
constexpr uint32_t kHwNerrin = 0x4000;
constexpr uint32_t kHwNotVarroPell = 0x8000;
/// @}

/// @name Firmware levels
/// @{

/// Rows of CheckFirmwareLevel: the firmware release that first carries a
/// command, per firmware line.
constexpr int kLevelFirmware10_05 = 1;
constexpr int kLevelFirmware2_12 = 4;
constexpr int kLevelFirmware10_12 = 5;
/// @}

/// Memory a family emulates, in bytes.
struct MemoryRule {
    uint32_t size = 0;       ///< GetMemorySize; 0: the family reports none
    uint32_t remaining = 0;  ///< base of GetMemoryRemaining; size in large-bin mode
    /// Where a flag word names several families (no detection makes one; a
    /// caller may), the family with the lowest number answers each lookup.
    uint8_t sizeOrder = 0;
    uint8_t remainingOrder = 0;  ///< the same for GetMemoryRemaining
};

/// One device family: a row of the table.
struct Family {
    char letter = 0;               ///< the letter the firmware reports in its version
    const char* name = "";         ///< as shown to people
    uint32_t bit = 0;              ///< the family's own hardware bit
    bool currentCommands = false;  ///< speaks today's commands; packages name it as target
    /// The flag word: for an older family the whole word; for a current one
    /// the bits its letter in the configuration memory adds, and the bits
    /// taken from the version letter where that memory names no family
    /// (these carry the USB bit where the family is USB only).
    uint32_t bits = 0;
    uint32_t fallbackBits = 0;      ///< the bits taken from the version letter (see bits)
    MemoryRule memory;              ///< the memory it emulates
    bool banks = false;             ///< 64 KiB banks of emulation memory, read at identification
    int bankLevel = 0;              ///< CheckFirmwareLevel row the bank command needs; 0: no gate
    int bulkLevel = 0;              ///< CheckFirmwareLevel row the bulk commands need; 0: no gate
    uint8_t largeBinBank = 0;       ///< emulation bank that selects large-bin mode; 0: none
    bool longAddresses = false;     ///< 24-bit block addresses
    bool wordTransfers = false;     ///< memory moves in whole 16-bit words
    bool scrambledFraming = false;  ///< packets carry markers and are scrambled
    bool doubleUploadCommand = false;  ///< the upload command goes out twice
    bool identityCommands = false;     ///< serial number, vendor id, emulation modes
};

/// Every family, one row each.
std::span<const Family> Families();

/// The family of a version (or configuration memory) letter; null for none.
const Family* FamilyOfLetter(char letter);

/// True when a family whose bit is in flags has the trait.
bool AnyFamily(uint32_t flags, bool Family::*trait);

/// The memory size rules over a flag word (see MemoryRule).
int MemorySizeOf(uint32_t flags);
/// The memory left above offset in an emulation bank, by the same rules.
int MemoryRemainingOf(uint32_t flags, uint8_t emulationBank, unsigned offset);

/// True when the firmware is at the level of the row (1..5) or above.
bool CheckFirmwareLevel(int row, const FirmwareVersion* version);
/// True when a family in flags gates a command with a level (the member
/// names which) that the firmware does not reach.
bool FirmwareTooOld(uint32_t flags, int Family::*level, const FirmwareVersion& version);
