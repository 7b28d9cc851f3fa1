// El Torito boot records: the boot record descriptor, the boot catalog it
// names, and the folder that shows each boot image as a file.
#pragma once

#include "ByteSource.h"
#include "Records.h"

#include <cstdint>
#include <vector>

namespace vbe {

struct BootEntry
{
    std::uint8_t platform = 0; // 0 x86 (BIOS), 1 PowerPC, 2 Mac, 0xEF UEFI
    bool bootable = false;
    std::uint8_t emulation = 0; // 0 none, 1 1.2M floppy, 2 1.44M, 3 2.88M, 4 hard disk
    std::uint16_t loadSegment = 0;
    std::uint16_t sectorCount = 0; // 512-byte sectors loaded at boot
    std::uint32_t loadBlock = 0;   // the boot image's first 2048-byte block
};

// The block of the boot catalog, when descriptor is an El Torito boot record.
bool bootCatalogOf(const std::uint8_t* descriptor, std::uint32_t* catalog);

// The entries of the boot catalog at block catalog, in catalog order: the
// default entry, then those of each section. Empty when no valid catalog is
// there.
std::vector<BootEntry> readBootCatalog(ByteSource& logical, std::uint32_t catalog);

// Adds the folder "[BOOT]" (or the first free "[BOOT]-N") to the root of
// tree, with a file for each entry of the boot catalog that the first
// session's boot record names; nothing when there is none.
void addBootFolder(ByteSource& logical, Tree& tree);

// Adds folder, a folder the module makes, to the root of tree as name (such
// as "[BOOT]"), or "name-N" when a folder of the image's own already has it.
// Returns its index.
std::uint32_t addRootFolder(Tree& tree, Entry folder, const std::u16string& name);

namespace limits {
// The catalog is read from this many blocks at most: 255 entries and headers.
constexpr std::uint32_t kMaxCatalogBlocks = 4;
} // namespace limits

} // namespace vbe
