// The records the parser produces: one tree of entries per image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vbe {

// A run of file data in the logical (2048-byte block) view of the image.
struct Extent
{
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The offset of an extent that is allocated but holds no recorded data (UDF):
// it reads as zeros.
constexpr std::uint64_t kHoleOffset = ~0ull;

enum class Content : std::uint8_t
{
    Extents, // data read from the extents as stored
    Inline,  // data held in the record (a symbolic link's target)
    Zisofs,  // compressed data in the extents, read decompressed
};

enum class Flavor : std::uint8_t
{
    Iso9660,
    RockRidge,
    Joliet,
    Udf
};

struct Entry
{
    std::u16string name;
    std::uint32_t parent = 0;
    bool directory = false;
    bool hidden = false;
    bool hasTime = false;
    Content content = Content::Extents;
    std::uint8_t zisofsBlockLog2 = 0;
    std::uint8_t zisofsHeaderWords = 0;
    std::uint32_t hundredths = 0;
    std::int64_t mtime = 0;        // seconds since 1970-01-01 UTC
    std::uint64_t size = 0;        // the size the user sees
    std::uint32_t firstExtent = 0; // into Tree::extents
    std::uint32_t extentCount = 0;
    std::string inlineData;
    std::vector<std::uint32_t> children; // directories: in the order recorded
};

struct Tree
{
    std::vector<Entry> entries; // entries[0] is the root
    std::vector<Extent> extents;
    std::u16string label;
    Flavor flavor = Flavor::Iso9660;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    // Damage met while reading; the damaged parts are left out.
    std::uint32_t damage = 0;
    std::vector<std::string> notes; // the first few damage descriptions
    // Where the file system was found.
    std::uint64_t sessionStart = 0; // block of the session that was read

    void note(const std::string& what)
    {
        ++damage;
        if (notes.size() < 32)
            notes.push_back(what);
    }
};

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d);

// Leaves out the later of two entries with the same name in one folder (a
// crafted image could otherwise hide a folder behind a file of its name).
void dropDuplicateNames(Tree& tree);

} // namespace vbe
