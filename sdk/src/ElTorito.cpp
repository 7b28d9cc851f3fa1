#include "ElTorito.h"

#include "IsoFormat.h"
#include "IsoParser.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

namespace vbe {

using namespace iso;

namespace {

constexpr std::size_t kCatalogEntry = 32;
constexpr std::uint8_t kHeaderMore = 0x90;
constexpr std::uint8_t kHeaderLast = 0x91;
constexpr std::uint8_t kExtension = 0x44;
constexpr std::uint8_t kPlatformUefi = 0xEF;
constexpr std::uint8_t kEmulationHardDisk = 4;
constexpr std::size_t kPvdCreated = 813; // 17-byte time

std::string hex(unsigned v)
{
    const char* digits = "0123456789ABCDEF";
    return {digits[(v >> 4) & 15], digits[v & 15]};
}

// "<n>-<platform>-<emulation>.img", n counting from 1 in catalog order.
std::u16string bootFileName(std::size_t n, const BootEntry& b)
{
    std::string platform;
    switch (b.platform) {
    case 0:
        platform = "BIOS";
        break;
    case 1:
        platform = "PPC";
        break;
    case 2:
        platform = "Mac";
        break;
    case kPlatformUefi:
        platform = "UEFI";
        break;
    default:
        platform = "Platform" + hex(b.platform);
    }
    static const char* const kEmulations[] = {"no-emulation", "floppy-1.2M", "floppy-1.44M",
                                              "floppy-2.88M", "hard-disk"};
    const std::string emulation = b.emulation <= kEmulationHardDisk
                                      ? kEmulations[b.emulation]
                                      : "emulation" + hex(b.emulation);
    return ascii(std::to_string(n) + "-" + platform + "-" + emulation + ".img");
}

// A hard disk image starts with a master boot record: the image reaches to
// the end of its furthest partition. 0 when the record is not sound.
std::uint64_t hardDiskBytes(ByteSource& src, std::uint64_t start)
{
    std::uint8_t mbr[512];
    if (!src.readExact(start, mbr, sizeof mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA)
        return 0;
    std::uint64_t end = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* p = mbr + 446 + 16 * i;
        if (p[0] != 0 && p[0] != 0x80)
            return 0;
        const std::uint32_t first = le32(p + 8), count = le32(p + 12);
        if (p[4] != 0 && count != 0)
            end = std::max(end, std::uint64_t(first) + count);
    }
    return end * 512;
}

// The size of a FAT file system from its boot sector; 0 when there is none.
std::uint64_t fatBytes(ByteSource& src, std::uint64_t start)
{
    std::uint8_t b[512];
    if (!src.readExact(start, b, sizeof b) || b[510] != 0x55 || b[511] != 0xAA ||
        !((b[0] == 0xEB && b[2] == 0x90) || b[0] == 0xE9))
        return 0;
    const std::uint32_t bytesPerSector = le16(b + 11);
    const std::uint8_t perCluster = b[13];
    if ((bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 &&
         bytesPerSector != 4096) ||
        perCluster == 0 || (perCluster & (perCluster - 1)) != 0 || le16(b + 14) == 0 || b[16] == 0)
        return 0;
    const std::uint32_t sectors = le16(b + 19) ? le16(b + 19) : le32(b + 32);
    return std::uint64_t(sectors) * bytesPerSector;
}

// What the entry loads, in bytes: the floppy's size; a hard disk's from its
// partitions; else the sectors loaded at boot. A UEFI image is a FAT file
// system that writers record as loading the customary 0, 1 or 4 sectors:
// its size is that of the file system. Never past the end of the image.
std::uint64_t bootImageBytes(ByteSource& src, const BootEntry& b)
{
    const std::uint64_t start = std::uint64_t(b.loadBlock) * kBlockSize;
    const std::uint64_t loaded = std::uint64_t(b.sectorCount) * 512;
    std::uint64_t bytes = loaded;
    switch (b.emulation) {
    case 1:
        bytes = 1'228'800;
        break;
    case 2:
        bytes = 1'474'560;
        break;
    case 3:
        bytes = 2'949'120;
        break;
    case kEmulationHardDisk:
        if (const std::uint64_t disk = hardDiskBytes(src, start))
            bytes = disk;
        break;
    case 0:
        if (b.platform == kPlatformUefi &&
            (b.sectorCount == 0 || b.sectorCount == 1 || b.sectorCount == 4))
            bytes = std::max(bytes, fatBytes(src, start));
        break;
    default:
        break;
    }
    return std::min(bytes, src.size() - start);
}

} // namespace

bool bootCatalogOf(const std::uint8_t* vd, std::uint32_t* catalog)
{
    // The boot system identifier names El Torito; the catalog's block
    // follows the 64 bytes of identifiers.
    if (vd[0] != kVdBoot || std::memcmp(vd + 1, "CD001", 5) != 0 ||
        std::memcmp(vd + 7, "EL TORITO ", 10) != 0)
        return false;
    *catalog = le32(vd + 71);
    return true;
}

std::vector<BootEntry> readBootCatalog(ByteSource& src, std::uint32_t catalog)
{
    std::vector<BootEntry> entries;
    std::vector<std::uint8_t> c(limits::kMaxCatalogBlocks * kBlockSize);
    const std::int64_t got = src.readAt(std::uint64_t(catalog) * kBlockSize, c.data(), c.size());
    if (got < std::int64_t(kBlockSize))
        return entries;
    // Whole entries only: the catalog is a validation entry, the default
    // entry, then sections of entries, each under a header naming its
    // platform. Every step moves on, so a catalog ends within what was read.
    const std::size_t end = static_cast<std::size_t>(got) / kCatalogEntry * kCatalogEntry;
    if (c[0] != 1 || c[30] != 0x55 || c[31] != 0xAA)
        return entries;
    auto add = [&](const std::uint8_t* e, std::uint8_t platform) {
        BootEntry b;
        b.platform = platform;
        b.bootable = e[0] == 0x88;
        b.emulation = e[1] & 0x0F;
        b.loadSegment = le16(e + 2);
        b.sectorCount = le16(e + 6);
        b.loadBlock = le32(e + 8);
        entries.push_back(b);
    };
    add(c.data() + kCatalogEntry, c[1]);
    for (std::size_t at = 2 * kCatalogEntry; at + kCatalogEntry <= end;) {
        const std::uint8_t* h = c.data() + at;
        if (h[0] != kHeaderMore && h[0] != kHeaderLast)
            break;
        const std::uint8_t platform = h[1];
        std::uint16_t count = le16(h + 2);
        at += kCatalogEntry;
        while (count > 0 && at + kCatalogEntry <= end) {
            if (c[at] != kExtension) { // extension entries continue the one before
                add(c.data() + at, platform);
                --count;
            }
            at += kCatalogEntry;
        }
        if (h[0] == kHeaderLast)
            break;
    }
    return entries;
}

std::uint32_t addRootFolder(Tree& tree, Entry folder, const std::u16string& name)
{
    std::unordered_set<std::u16string> taken;
    for (std::uint32_t c : tree.children(0))
        taken.emplace(tree.name(c));
    std::u16string unique = name;
    for (std::size_t n = 2; taken.count(unique); ++n)
        unique = name + u"-" + ascii(std::to_string(n));
    tree.setName(folder, unique);
    folder.directory = true;
    folder.parent = 0;
    const auto index = static_cast<std::uint32_t>(tree.entries.size());
    tree.entries.push_back(folder);
    tree.addChild(0, index);
    ++tree.folders;
    return index;
}

void addBootFolder(ByteSource& src, Tree& tree)
{
    if (tree.entries.empty())
        return;
    // Firmware reads the boot record from the first session's descriptors.
    std::uint32_t catalog = 0;
    bool found = false, havePrimary = false, hasTime = false;
    std::int64_t created = 0;
    std::uint32_t hundredths = 0;
    std::uint8_t vd[kBlockSize];
    for (std::uint32_t i = 0; i < limits::kMaxDescriptors && !found; ++i) {
        if (!src.readExact((std::uint64_t(kFirstDescriptor) + i) * kBlockSize, vd, sizeof vd) ||
            std::memcmp(vd + 1, "CD001", 5) != 0 || vd[0] == kVdTerminator)
            break;
        if (vd[0] == kVdPrimary && !havePrimary) {
            havePrimary = true;
            hasTime = decodeLongTime(vd + kPvdCreated, &created, &hundredths);
        }
        found = bootCatalogOf(vd, &catalog);
    }
    if (!found)
        return;
    const std::vector<BootEntry> boot = readBootCatalog(src, catalog);
    if (boot.empty() || tree.entries.size() + boot.size() + 1 > limits::kMaxEntries)
        return;

    // The boot images record nothing of Unix files: mode and identity stay 0.
    Entry folder;
    folder.hasTime = hasTime;
    folder.mtime = created;
    folder.hundredths = static_cast<std::uint8_t>(hundredths);
    const std::uint32_t folderIndex = addRootFolder(tree, folder, u"[BOOT]");
    for (std::size_t n = 0; n < boot.size(); ++n) {
        const BootEntry& b = boot[n];
        if (std::uint64_t(b.loadBlock) * kBlockSize >= src.size()) {
            tree.note("boot image beyond the end of the image is left out");
            continue;
        }
        Entry file;
        tree.setName(file, bootFileName(n + 1, b));
        file.parent = folderIndex;
        file.hasTime = hasTime;
        file.mtime = created;
        file.hundredths = folder.hundredths;
        file.size = bootImageBytes(src, b);
        file.firstExtent = static_cast<std::uint32_t>(tree.extents.size());
        file.extentCount = 1;
        tree.extents.push_back({std::uint64_t(b.loadBlock) * kBlockSize, file.size});
        tree.addChild(folderIndex, static_cast<std::uint32_t>(tree.entries.size()));
        tree.entries.push_back(file);
        ++tree.files;
    }
}

} // namespace vbe
