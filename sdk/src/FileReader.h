// Sequential reading of one entry's data: stored extents, inline data, or
// zisofs-compressed extents decompressed block by block.
#pragma once

#include "ByteSource.h"
#include "Records.h"

#include <memory>
#include <vector>

namespace vbe {

class FileReader
{
public:
    FileReader(std::shared_ptr<ByteSource> source, const Tree& tree, const Entry& entry);

    std::uint64_t size() const { return size_; }
    // Reads the next bytes into dst: at least one until the size is reached,
    // then 0. -1 when the image cannot be read or the data is damaged.
    std::int64_t read(void* dst, std::size_t n);

private:
    // Reads stored bytes at offset of the concatenated extents.
    std::int64_t readStored(std::uint64_t offset, void* dst, std::size_t n);
    bool loadZisofsTable();
    bool loadZisofsBlock(std::uint64_t block);

    std::shared_ptr<ByteSource> source_;
    std::vector<Extent> extents_;
    std::uint64_t storedSize_ = 0;
    std::size_t cursorExtent_ = 0; // extent holding the last stored byte read
    std::uint64_t cursorBase_ = 0; // its offset in the concatenated extents
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
    Content content_;
    std::string inline_;

    // zisofs
    std::uint32_t blockLog2_ = 0;
    std::uint32_t headerWords_ = 0;
    bool tableLoaded_ = false;
    std::vector<std::uint32_t> pointers_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> compressed_;
    std::uint64_t blockIndex_ = ~0ull;
};

} // namespace vbe
