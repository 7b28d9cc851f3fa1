// The records the parser produces: one tree of entries per image.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <string_view>
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
// leave no padding between them, and what few entries need is kept by the
// Tree (names, children, inline data).
struct Entry
{
    std::int64_t mtime = 0; // seconds since 1970-01-01 UTC
    std::uint64_t size = 0; // the size the user sees
    // The same for every name of one file, 0 for none (kFileId* below).
    std::uint64_t fileId = 0;
    std::uint32_t parent = 0;
    // What the image records of the entry as a Unix file (Rock Ridge, UDF),
    // all 0 where it records nothing: uid, gid, mode and links. mode is
    // st_mode, kind and permission bits; a link count beyond 65535 is kept
    // as 65535.
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    // Files: extentCount extents from Tree::extents[firstExtent]. Folders
    // and Inline entries have no extents: the Tree keeps where their
    // children or data lie here (Tree::children, Tree::inlineData).
    std::uint32_t firstExtent = 0;
    std::uint32_t extentCount = 0;
    std::uint32_t nameAt = 0; // where Tree::name finds it, 0 for none
    std::uint16_t mode = 0;
    std::uint16_t links = 0;
    std::uint8_t zisofsHeaderWords = 0;
    std::uint8_t hundredths : 7 = 0; // of the second, below 100
    bool directory : 1 = false;
    bool hidden : 1 = false;
    bool hasTime : 1 = false;
    Content content : 2 = Content::Extents;
    std::uint8_t zisofsBlockLog2 : 5 = 0;
};
static_assert(sizeof(Entry) == 56);

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

    std::u16string_view name(const Entry& e) const
    {
        return e.nameAt == 0 ? std::u16string_view() : nameAt(e.nameAt);
    }
    std::u16string_view name(std::uint32_t i) const { return name(entries[i]); }
    void setName(Entry& e, std::u16string_view name);

    // A folder's entries in the order recorded; nothing for a file.
    std::span<const std::uint32_t> children(std::uint32_t dir) const
    {
        const Entry& d = entries[dir];
        if (!d.directory || d.extentCount == 0)
            return {};
        return {children_.data() + d.firstExtent, d.extentCount};
    }
    // Adds to the end of a folder's list. The lists are kept one after
    // another: a folder's grows in place while it is the last one added to.
    void addChild(std::uint32_t dir, std::uint32_t child);
    void dropLastChild(std::uint32_t dir);
    // Takes the children that drop(child) names out of a folder's list.
    template <typename F>
    void dropChildren(std::uint32_t dir, F drop);

    // The data an Inline entry holds; nothing for others.
    std::string_view inlineData(const Entry& e) const
    {
        if (e.content != Content::Inline || e.firstExtent >= inline_.size())
            return {};
        return inline_[e.firstExtent];
    }
    // Makes e an Inline entry holding data.
    void setInlineData(Entry& e, std::string data)
    {
        e.content = Content::Inline;
        e.firstExtent = static_cast<std::uint32_t>(inline_.size());
        e.extentCount = 0;
        inline_.push_back(std::move(data));
    }

    // Room for n entries, reserved, not touched: a tree that fills it is
    // not copied while it grows.
    void reserve(std::size_t n)
    {
        entries.reserve(n);
        extents.reserve(n);
        children_.reserve(n);
    }
    // Gives back what only the scan needs (the index of names met), once
    // the tree is complete.
    void shrink();

private:
    std::u16string_view nameAt(std::uint32_t at) const
    {
        const char16_t* p = names_[at >> kNameChunkBits].data() + (at & kNameChunkMask);
        return {p + 1, *p};
    }
    std::uint32_t storeName(std::u16string_view name);
    void growNameIndex();

    // Names are stored as their length, then their characters, in chunks
    // that are allocated whole and never moved: no name costs a block of its
    // own, and the store is not copied while it grows. Position 0 is no name.
    static constexpr unsigned kNameChunkBits = 15;
    static constexpr std::size_t kNameChunk = std::size_t(1) << kNameChunkBits;
    static constexpr std::uint32_t kNameChunkMask = kNameChunk - 1;
    std::vector<std::vector<char16_t>> names_;
    // Where names met before are stored, by hash (0 for a free slot), so
    // that a name shared by many files (in folders of the same layout) is
    // stored once. A name is looked for in a few slots only: crafted names
    // of one hash cost no more than that.
    std::vector<std::uint32_t> nameIndex_;
    std::size_t namesIndexed_ = 0;
    std::vector<std::uint32_t> children_;
    std::vector<std::string> inline_;
};

template <typename F>
void Tree::dropChildren(std::uint32_t dir, F drop)
{
    Entry& d = entries[dir];
    if (!d.directory || d.extentCount == 0)
        return;
    const bool last = d.firstExtent + d.extentCount == children_.size();
    auto first = children_.begin() + d.firstExtent;
    auto end = std::remove_if(first, first + d.extentCount, drop);
    const auto kept = static_cast<std::uint32_t>(end - first);
    if (last)
        children_.resize(d.firstExtent + kept);
    d.extentCount = kept;
}

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
