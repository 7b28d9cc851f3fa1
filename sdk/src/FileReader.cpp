#include "FileReader.h"

#include "Inflate.h"
#include "IsoFormat.h"

#include <algorithm>
#include <cstring>

namespace vbe {

FileReader::FileReader(std::shared_ptr<ByteSource> source, const Tree& tree, const Entry& entry)
    : source_(std::move(source)), size_(entry.size), content_(entry.content),
      inline_(tree.inlineData(entry)), blockLog2_(entry.zisofsBlockLog2),
      headerWords_(entry.zisofsHeaderWords)
{
    if (content_ != Content::Inline) {
        std::uint64_t end = std::uint64_t(entry.firstExtent) + entry.extentCount;
        for (std::uint64_t i = entry.firstExtent; i < end && i < tree.extents.size(); ++i) {
            extents_.push_back(tree.extents[i]);
            storedSize_ += tree.extents[i].length;
        }
    }
}

std::int64_t FileReader::readStored(std::uint64_t offset, void* dst, std::size_t n)
{
    // Reads are mostly sequential: start from the extent the last one ended in.
    if (offset < cursorBase_) {
        cursorExtent_ = 0;
        cursorBase_ = 0;
    }
    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n && cursorExtent_ < extents_.size()) {
        const Extent& e = extents_[cursorExtent_];
        if (offset + done >= cursorBase_ + e.length) {
            cursorBase_ += e.length;
            ++cursorExtent_;
            continue;
        }
        std::uint64_t within = offset + done - cursorBase_;
        std::size_t k =
            static_cast<std::size_t>(std::min<std::uint64_t>(n - done, e.length - within));
        if (e.offset == kHoleOffset) {
            // A hole reads as zeros; the cursor moves on at the next turn.
            std::memset(out + done, 0, k);
            done += k;
            continue;
        }
        std::int64_t got = source_->readAt(e.offset + within, out + done, k);
        if (got < 0 || static_cast<std::size_t>(got) < k)
            return done ? static_cast<std::int64_t>(done) : -1;
        done += k;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t FileReader::read(void* dst, std::size_t n)
{
    if (pos_ >= size_ || n == 0)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - pos_));
    std::int64_t got = -1;
    switch (content_) {
    case Content::Inline:
        std::memcpy(dst, inline_.data() + pos_, n);
        got = static_cast<std::int64_t>(n);
        break;
    case Content::Extents:
        got = readStored(pos_, dst, n);
        break;
    case Content::Zisofs: {
        if (!tableLoaded_ && !loadZisofsTable())
            return -1;
        std::uint64_t blockSize = std::uint64_t(1) << blockLog2_;
        std::uint64_t index = pos_ >> blockLog2_;
        if (!loadZisofsBlock(index))
            return -1;
        std::uint64_t within = pos_ - (index << blockLog2_);
        std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, blockSize - within));
        std::memcpy(dst, block_.data() + within, k);
        got = static_cast<std::int64_t>(k);
        break;
    }
    }
    if (got > 0)
        pos_ += static_cast<std::uint64_t>(got);
    return got;
}

bool FileReader::loadZisofsTable()
{
    std::uint8_t header[iso::kZisofsHeaderSize];
    if (readStored(0, header, sizeof header) != static_cast<std::int64_t>(sizeof header))
        return false;
    if (std::memcmp(header, iso::kZisofsMagic, 8) != 0 || iso::le32(header + 8) != size_ ||
        header[12] != headerWords_ || header[13] != blockLog2_)
        return false;
    std::uint64_t blocks = (size_ + (std::uint64_t(1) << blockLog2_) - 1) >> blockLog2_;
    std::uint64_t tableBytes = (blocks + 1) * 4;
    if (std::uint64_t(headerWords_) * 4 + tableBytes > storedSize_)
        return false;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(tableBytes));
    if (readStored(std::uint64_t(headerWords_) * 4, raw.data(), raw.size()) !=
        static_cast<std::int64_t>(raw.size()))
        return false;
    pointers_.resize(static_cast<std::size_t>(blocks + 1));
    for (std::size_t i = 0; i < pointers_.size(); ++i) {
        pointers_[i] = iso::le32(raw.data() + i * 4);
        if (pointers_[i] > storedSize_ || (i && pointers_[i] < pointers_[i - 1]))
            return false;
    }
    block_.resize(std::size_t(1) << blockLog2_);
    tableLoaded_ = true;
    return true;
}

bool FileReader::loadZisofsBlock(std::uint64_t index)
{
    if (index == blockIndex_)
        return true;
    if (index + 1 >= pointers_.size())
        return false;
    const std::size_t blockSize = std::size_t(1) << blockLog2_;
    const std::uint64_t start = pointers_[index];
    const std::uint64_t length = pointers_[index + 1] - start;
    // The expected size of this block: whole, or the remainder for the last one.
    const std::size_t expect =
        static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, size_ - (index << blockLog2_)));
    blockIndex_ = ~0ull;
    if (length == 0) {
        std::memset(block_.data(), 0, blockSize);
    } else {
        // Compressed data that is much larger than the block it decodes to is damage.
        if (length > blockSize * 2 + 1024)
            return false;
        compressed_.resize(static_cast<std::size_t>(length));
        if (readStored(start, compressed_.data(), compressed_.size()) !=
            static_cast<std::int64_t>(length))
            return false;
        std::size_t produced = 0;
        if (!inflateZlib(compressed_.data(), compressed_.size(), block_.data(), blockSize,
                         &produced) ||
            produced != expect)
            return false;
    }
    blockIndex_ = index;
    return true;
}

} // namespace vbe
