// The records the parser produces: one tree of entries per image.
#pragma once

#include <cstdint>
#include <iterator>
#include <map>
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

// An image of many files holds as many entries: the fields are ordered to
// leave no padding between them.
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
    std::uint8_t hundredths = 0; // of the second, below 100
    // What the image records of the entry as a Unix file (Rock Ridge, UDF),
    // all 0 where it records nothing. mode is st_mode, kind and permission
    // bits; a link count beyond 65535 is kept as 65535.
    std::uint16_t mode = 0;
    std::uint16_t links = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::int64_t mtime = 0; // seconds since 1970-01-01 UTC
    std::uint64_t size = 0; // the size the user sees
    // The same for every name of one file, 0 for none (kFileId* below).
    std::uint64_t fileId = 0;
    std::uint32_t firstExtent = 0; // into Tree::extents
    std::uint32_t extentCount = 0;
    std::string inlineData;
    std::vector<std::uint32_t> children; // directories: in the order recorded
};

// The ranges of Entry::fileId, one for each kind of identity, so that two
// kinds never meet (a tree takes records from the other tree of an image).
constexpr std::uint64_t kFileIdIsoData = 1ull << 62;   // data extent, serial number
constexpr std::uint64_t kFileIdIsoRecord = 2ull << 62; // where the record lies
constexpr std::uint64_t kFileIdUdfEntry = 3ull << 62;  // where the file entry lies

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
    // First blocks of every ISO 9660 session found, oldest first.
    std::vector<std::uint32_t> sessions;
    // Work done to read the tree, counted against the caps: blocks and areas
    // of structures read, and identifiers and records looked at (the ones
    // left out included).
    std::uint64_t structuresRead = 0;
    std::uint64_t recordsSeen = 0;
    // Names compared while the records of the other tree are taken over.
    std::uint64_t mergeComparisons = 0;

    void note(const std::string& what)
    {
        ++damage;
        if (notes.size() < 32)
            notes.push_back(what);
    }
};

// Byte ranges of the image already taken by one kind of structure (folder
// data, continuation areas). Each byte may be taken once: a range that
// overlaps one taken before is damage.
class RangeClaims
{
public:
    bool claim(std::uint64_t start, std::uint64_t length)
    {
        if (length == 0)
            return true;
        const std::uint64_t end = start + length < start ? ~0ull : start + length;
        auto next = ranges_.lower_bound(start);
        if (next != ranges_.end() && next->first < end)
            return false;
        if (next != ranges_.begin() && std::prev(next)->second > start)
            return false;
        ranges_.emplace_hint(next, start, end);
        return true;
    }

    // How many bytes from start lie before the first byte taken.
    std::uint64_t freeFrom(std::uint64_t start, std::uint64_t length) const
    {
        auto next = ranges_.upper_bound(start);
        if (next != ranges_.begin() && std::prev(next)->second > start)
            return 0;
        if (next != ranges_.end() && next->first - start < length)
            return next->first - start;
        return length;
    }

private:
    std::map<std::uint64_t, std::uint64_t> ranges_; // start -> end
};

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d);

// Leaves out the later of two entries with the same name in one folder (a
// crafted image could otherwise hide a folder behind a file of its name).
void dropDuplicateNames(Tree& tree);

// Counts the folders and files reached from the root into tree.folders and
// tree.files.
void countEntries(Tree& tree);

} // namespace vbe
