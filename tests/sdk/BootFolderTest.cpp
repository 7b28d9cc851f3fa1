// El Torito boot images, shown as the files of a folder "[BOOT]" at the root
// of images xorriso makes from boot images the tests write.
#include "SdkSupport.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <set>

using namespace sdktest;

namespace {

void putLe(std::string& s, std::size_t at, std::uint32_t v, int bytes = 2)
{
    for (int i = 0; i < bytes; ++i)
        s[at + i] = static_cast<char>(v >> 8 * i);
}

// The boot images: a 4-sector BIOS loader, a FAT file system of 64 KiB for
// UEFI (its boot sector's fields only), a 1.44M floppy and a hard disk whose
// one partition ends at its end.
void writeBootImages(const fs::path& boot)
{
    writeFile(boot / "boot.img", pattern(2048, 1));
    std::string fat = pattern(65536, 2);
    fat.replace(0, 3, "\xEB\x3C\x90");
    putLe(fat, 11, 512); // bytes per sector
    fat[13] = 1;         // sectors per cluster
    putLe(fat, 14, 1);   // reserved sectors
    fat[16] = 2;         // copies of the table
    putLe(fat, 19, 128); // sectors
    putLe(fat, 510, 0xAA55);
    writeFile(boot / "efi.img", fat);
    writeFile(boot / "floppy.img", pattern(1474560, 3));
    std::string disk = pattern(64 * 512, 4);
    std::memset(disk.data() + 446, 0, 64);
    disk[446] = '\x80';
    disk[446 + 4] = '\x83';
    putLe(disk, 446 + 8, 1, 4);
    putLe(disk, 446 + 12, 63, 4);
    putLe(disk, 510, 0xAA55);
    writeFile(boot / "hd.img", disk);
}

// Where the boot catalog lies in an image xorriso wrote: the boot record
// follows the primary descriptor.
std::size_t catalogOffset(const std::string& image)
{
    const std::size_t record = 17 * 2048;
    EXPECT_EQ(image.compare(record + 7, 10, "EL TORITO "), 0);
    const auto* p = reinterpret_cast<const unsigned char*>(image.data() + record + 71);
    return std::size_t(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24) * 2048;
}

using Patch = void (*)(std::string& d, std::size_t c);

struct Boot
{
    const char* name;
    const char* options;                      // xorriso's, with paths in the tree
    Patch patch;                              // nullptr: the catalog as written
    std::map<std::string, std::string> files; // boot file -> the tree file it holds
    const char* folder = "[BOOT]";
    std::size_t minFiles = 0, maxFiles = 0; // hostile catalogs: in the boot folder
};

const char* const kBiosAndUefi = "-b boot/boot.img -no-emul-boot -boot-load-size 4 "
                                 "-eltorito-alt-boot -e boot/efi.img -no-emul-boot";
const std::map<std::string, std::string> kBiosAndUefiFiles = {
    {"1-BIOS-no-emulation.img", "boot.img"}, {"2-UEFI-no-emulation.img", "efi.img"}};

// Each entry of the catalog is a file of the boot folder holding the boot
// image it was made from, byte for byte; a folder of the tree named "[BOOT]"
// keeps its name and its content. Of a hostile catalog, the scan ends at
// once, and every boot file shown lies within the image and reads to its end.
TEST(BootFolder, ShowsEachBootImage)
{
    // The UEFI entry loads the customary 1 sector; the first entry's image
    // starts past the end, or loads 65535 sectors; section headers and
    // entries run over several blocks; no valid catalog.
    const Patch uefiOneSector = [](std::string& d, std::size_t c) {
        EXPECT_EQ(static_cast<unsigned char>(d[c + 65]), 0xEF); // the UEFI section
        putLe(d, c + 96 + 6, 1);
    };
    const Patch pastTheEnd = [](std::string& d, std::size_t c) {
        putLe(d, c + 32 + 8, 0x7FFFFFF0, 4);
    };
    const Patch sectorsToTheEnd = [](std::string& d, std::size_t c) {
        putLe(d, c + 32 + 6, 0xFFFF);
    };
    const Patch endlessSections = [](std::string& d, std::size_t c) {
        for (std::size_t at = c + 64; at + 32 <= c + 8 * 2048; at += 64) {
            d.replace(at, 32, std::string(32, '\0'));
            d[at] = '\x90';
            putLe(d, at + 2, 1);
            d.replace(at + 32, 32, d.substr(c + 32, 32));
        }
    };
    const Patch brokenValidation = [](std::string& d, std::size_t c) { d[c + 30] = 0; };
    const Boot cases[] = {
        {"bios_and_uefi", kBiosAndUefi, nullptr, kBiosAndUefiFiles},
        {"uefi_fat_recorded_as_one_sector", kBiosAndUefi, uefiOneSector, kBiosAndUefiFiles},
        {"floppy", "-b boot/floppy.img", nullptr, {{"1-BIOS-floppy-1.44M.img", "floppy.img"}}},
        {"hard_disk",
         "-b boot/hd.img -hard-disk-boot",
         nullptr,
         {{"1-BIOS-hard-disk.img", "hd.img"}}},
        {"tree_has_a_boot_folder", kBiosAndUefi, nullptr, kBiosAndUefiFiles, "[BOOT]-2"},
        {"past_the_end", kBiosAndUefi, pastTheEnd, {}, "[BOOT]", 1, 1},
        {"sectors_to_the_end", kBiosAndUefi, sectorsToTheEnd, {}, "[BOOT]", 2, 2},
        {"endless_sections", kBiosAndUefi, endlessSections, {}, "[BOOT]", 2, 255},
        {"broken_validation", kBiosAndUefi, brokenValidation, {}, "[BOOT]", 0, 0}};
    for (const Boot& b : cases) {
        SCOPED_TRACE(b.name);
        const std::string folder = b.folder;
        TempDir dir;
        writeBootImages(dir / "tree/boot");
        if (folder != "[BOOT]")
            writeFile(dir / "tree/[BOOT]/mine.txt", "the tree's own\n");
        const fs::path image =
            makeImage("xorriso -as mkisofs -R " + std::string(b.options) + " -o %O %T",
                      dir / "tree", dir / "boot.iso");
        if (b.patch) {
            std::string d = readHostFile(image);
            b.patch(d, catalogOffset(d));
            writeFile(image, d);
        }
        const auto start = std::chrono::steady_clock::now();
        auto s = openImage(image);
        ASSERT_TRUE(s->ok());
        const Listing got = s->list();
        std::set<std::string> names;
        for (const auto& [path, item] : got) {
            if (path.rfind(folder + "/", 0) != 0)
                continue;
            names.insert(path.substr(folder.size() + 1));
            EXPECT_LE(item.size, fs::file_size(image)) << path;
            auto content = s->read(path, 1 << 20);
            ASSERT_TRUE(content.has_value()) << path;
            EXPECT_EQ(content->size(), item.size) << path;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        if (b.files.empty()) {
            EXPECT_GE(names.size(), b.minFiles);
            EXPECT_LE(names.size(), b.maxFiles);
        } else {
            std::set<std::string> want;
            for (const auto& [name, from] : b.files) {
                want.insert(name);
                EXPECT_TRUE(s->read(folder + "/" + name) == readHostFile(dir / "tree/boot" / from))
                    << name;
            }
            EXPECT_EQ(names, want);
            EXPECT_TRUE(got.at(folder).directory);
        }
        if (folder != "[BOOT]") {
            EXPECT_EQ(s->read("[BOOT]/mine.txt"), "the tree's own\n");
        }
        EXPECT_EQ(got.count("boot/efi.img"), 1u);
        auto [folders, files] = s->counts();
        EXPECT_EQ(std::size_t(folders) + files, got.size());
    }
}

} // namespace
