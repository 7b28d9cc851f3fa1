#include "Records.h"

#include <new>
#include <stdexcept>

namespace vbe {

namespace {

// Slots a name is looked for in, and may be put in: the work per name stays
// bounded whatever the names hash to.
constexpr std::size_t kNameProbes = 8;

std::size_t hashName(std::u16string_view name)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (char16_t c : name)
        h = (h ^ c) * 0x100000001b3ull;
    return static_cast<std::size_t>(h ^ h >> 29);
}

} // namespace

std::uint32_t Tree::storeName(std::u16string_view name)
{
    const std::size_t need = name.size() + 1;
    if (need > kNameChunk)
        throw std::length_error("name too long");
    if (names_.empty() || names_.back().size() + need > kNameChunk) {
        // Positions are 32 bits: 8 GB of names is more than memory holds.
        if (names_.size() >= (std::size_t(1) << (32 - kNameChunkBits)))
            throw std::bad_alloc();
        names_.emplace_back().reserve(kNameChunk);
        if (names_.size() == 1)
            names_.back().push_back(0);
    }
    std::vector<char16_t>& chunk = names_.back();
    const auto at =
        static_cast<std::uint32_t>((names_.size() - 1) << kNameChunkBits | chunk.size());
    chunk.push_back(static_cast<char16_t>(name.size()));
    chunk.insert(chunk.end(), name.begin(), name.end());
    return at;
}

void Tree::growNameIndex()
{
    std::vector<std::uint32_t> old = std::move(nameIndex_);
    nameIndex_.assign(old.empty() ? 1024 : old.size() * 2, 0);
    namesIndexed_ = 0;
    const std::size_t mask = nameIndex_.size() - 1;
    for (std::uint32_t at : old) {
        if (at == 0)
            continue;
        std::size_t slot = hashName(nameAt(at)) & mask;
        for (std::size_t k = 0; k < kNameProbes; ++k, slot = (slot + 1) & mask) {
            if (nameIndex_[slot] == 0) {
                nameIndex_[slot] = at;
                ++namesIndexed_;
                break;
            }
        }
    }
}

void Tree::setName(Entry& e, std::u16string_view name)
{
    if (name.empty()) {
        e.nameAt = 0;
        return;
    }
    if (namesIndexed_ * 2 >= nameIndex_.size())
        growNameIndex();
    const std::size_t mask = nameIndex_.size() - 1;
    std::size_t slot = hashName(name) & mask;
    std::uint32_t* free = nullptr;
    for (std::size_t k = 0; k < kNameProbes; ++k, slot = (slot + 1) & mask) {
        const std::uint32_t at = nameIndex_[slot];
        if (at == 0) {
            free = &nameIndex_[slot];
            break;
        }
        if (nameAt(at) == name) {
            e.nameAt = at;
            return;
        }
    }
    e.nameAt = storeName(name);
    if (free) {
        *free = e.nameAt;
        ++namesIndexed_;
    }
}

void Tree::addChild(std::uint32_t dir, std::uint32_t child)
{
    Entry& d = entries[dir];
    if (d.extentCount == 0) {
        d.firstExtent = static_cast<std::uint32_t>(children_.size());
    } else if (d.firstExtent + d.extentCount != children_.size()) {
        // Another folder was added to since: the list moves to the end. The
        // parsers fill one folder at a time; only the folders added to the
        // root afterwards (boot images, audio tracks) take this.
        const std::size_t from = d.firstExtent;
        children_.reserve(children_.size() + d.extentCount + 1);
        d.firstExtent = static_cast<std::uint32_t>(children_.size());
        for (std::size_t k = 0; k < d.extentCount; ++k)
            children_.push_back(children_[from + k]);
    }
    children_.push_back(child);
    ++d.extentCount;
}

void Tree::dropLastChild(std::uint32_t dir)
{
    Entry& d = entries[dir];
    if (!d.directory || d.extentCount == 0)
        return;
    if (d.firstExtent + d.extentCount == children_.size())
        children_.pop_back();
    --d.extentCount;
}

void Tree::shrink()
{
    // The arrays stay as they are: the room reserved beyond the entries was
    // never touched and costs no memory, while copying them to fit would
    // touch them twice, and the pages the scan's thread frees stay with it.
    // Later names are stored as they come.
    nameIndex_ = std::vector<std::uint32_t>();
    namesIndexed_ = 0;
}

} // namespace vbe
