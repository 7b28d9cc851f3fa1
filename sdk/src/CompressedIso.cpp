#include "CompressedIso.h"

#include "Inflate.h"
#include "Lz4.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace vbe {

namespace {

constexpr std::size_t kHeaderBytes = 0x18;
constexpr std::uint32_t kMinBlock = 2048;
constexpr std::uint32_t kMaxBlock = 4u << 20;
// The compressed bytes of consecutive whole blocks fetched with one read.
constexpr std::uint64_t kBatch = 1u << 20;
constexpr std::uint32_t kFlag = 0x80000000u;

enum class Kind
{
    Cso1, // deflate; the flag marks a stored block
    Cso2, // deflate, or LZ4 where the flag is set; a block as large as the
          // block size is stored
    Zso,  // LZ4; the flag marks a stored block
};

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

bool readHeader(ByteSource& file, std::uint8_t (&h)[kHeaderBytes])
{
    return file.readExact(0, h, sizeof h);
}

class CompressedSource final : public ByteSource
{
public:
    CompressedSource(std::shared_ptr<ByteSource> file, Kind kind, std::uint64_t total,
                     std::uint32_t blockSize, unsigned shift, std::vector<std::uint32_t> index)
        : file_(std::move(file)), kind_(kind), total_(total), blockSize_(blockSize), shift_(shift),
          index_(std::move(index))
    {
    }
    std::uint64_t size() const override { return total_; }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    std::uint64_t start(std::size_t block) const
    {
        return std::uint64_t(index_[block] & ~kFlag) << shift_;
    }
    // The bytes the block holds decoded: the block size, less for the last.
    std::size_t length(std::size_t block) const
    {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(blockSize_, total_ - std::uint64_t(block) * blockSize_));
    }
    // The most of a block's stored bytes its decoding may need: the block
    // size with room for what deflate and LZ4 add to data they cannot
    // shrink. What lies beyond is padding.
    std::size_t inputLimit() const { return blockSize_ + blockSize_ / 8 + 1024; }
    bool decode(std::size_t block, const std::uint8_t* in, std::size_t inLength,
                std::uint8_t* out) const;
    // Decodes blocks [first, first + count) into out, fetching the stored
    // bytes of several with one read.
    bool readBlocks(std::size_t first, std::size_t count, std::uint8_t* out);
    // Copies [within, within + n) of a block, from the blocks decoded last
    // when it is one of them.
    bool readPart(std::size_t block, std::size_t within, std::size_t n, std::uint8_t* out);

    std::shared_ptr<ByteSource> file_;
    const Kind kind_;
    const std::uint64_t total_;
    const std::uint32_t blockSize_;
    const unsigned shift_;
    const std::vector<std::uint32_t> index_; // one entry per block and one for the end

    // The last two blocks read in part, for the reads that go through a
    // block in small steps; decoding happens outside the lock.
    struct Cached
    {
        std::size_t block = ~std::size_t(0);
        std::vector<std::uint8_t> data;
    };
    std::mutex mutex_;
    Cached cache_[2];
    unsigned newest_ = 0;
};

bool CompressedSource::decode(std::size_t block, const std::uint8_t* in, std::size_t inLength,
                              std::uint8_t* out) const
{
    const std::size_t want = length(block);
    const std::uint64_t stored = start(block + 1) - start(block);
    const bool flag = index_[block] & kFlag;
    enum
    {
        Stored,
        Deflate,
        Lz4
    } method;
    if (kind_ == Kind::Cso2)
        method = stored >= blockSize_ ? Stored : flag ? Lz4 : Deflate;
    else
        method = flag ? Stored : kind_ == Kind::Zso ? Lz4 : Deflate;
    std::size_t got = 0;
    switch (method) {
    case Stored:
        if (inLength < want)
            return false;
        std::memcpy(out, in, want);
        return true;
    case Deflate:
        return inflateRaw(in, inLength, out, want, &got) && got == want;
    case Lz4:
        return lz4DecodeBlock(in, inLength, out, want, &got) && got == want;
    }
    return false;
}

bool CompressedSource::readBlocks(std::size_t first, std::size_t count, std::uint8_t* out)
{
    std::vector<std::uint8_t> in;
    const std::size_t end = first + count;
    while (first < end) {
        // As many blocks as fit in one batch, at least one, its input cut
        // to what decoding can need.
        const std::uint64_t from = start(first);
        std::uint64_t to = from + std::min<std::uint64_t>(start(first + 1) - from, inputLimit());
        std::size_t last = first + 1;
        while (last < end && start(last + 1) - from <= kBatch)
            to = start(++last);
        in.resize(static_cast<std::size_t>(to - from));
        if (!file_->readExact(from, in.data(), in.size()))
            return false;
        for (std::size_t b = first; b < last; ++b) {
            const std::size_t at = static_cast<std::size_t>(start(b) - from);
            const std::size_t stop =
                static_cast<std::size_t>(std::min<std::uint64_t>(start(b + 1) - from, to - from));
            if (!decode(b, in.data() + at, stop - at, out))
                return false;
            out += length(b);
        }
        first = last;
    }
    return true;
}

bool CompressedSource::readPart(std::size_t block, std::size_t within, std::size_t n,
                                std::uint8_t* out)
{
    std::vector<std::uint8_t> data;
    {
        std::lock_guard lock(mutex_);
        for (const Cached& c : cache_)
            if (c.block == block) {
                std::memcpy(out, c.data.data() + within, n);
                return true;
            }
        // The older entry's buffer is reused.
        data = std::move(cache_[newest_ ^ 1].data);
        cache_[newest_ ^ 1].block = ~std::size_t(0);
    }
    data.resize(length(block));
    if (!readBlocks(block, 1, data.data()))
        return false;
    std::memcpy(out, data.data() + within, n);
    std::lock_guard lock(mutex_);
    newest_ ^= 1;
    cache_[newest_].block = block;
    cache_[newest_].data = std::move(data);
    return true;
}

std::int64_t CompressedSource::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset >= total_ || n == 0)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, total_ - offset));
    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t pos = offset + done;
        const auto block = static_cast<std::size_t>(pos / blockSize_);
        const auto within = static_cast<std::size_t>(pos % blockSize_);
        const std::size_t rest = n - done;
        if (within == 0 && rest >= length(block)) {
            // Whole blocks are decoded straight into the destination; the
            // last block may be shorter than the others.
            const std::size_t blocks = index_.size() - 1;
            std::size_t count = std::min<std::size_t>(rest / blockSize_, blocks - block);
            if (block + count == blocks - 1 && rest - count * blockSize_ >= length(blocks - 1))
                ++count;
            if (!readBlocks(block, count, out + done))
                return -1;
            done += (count - 1) * std::size_t(blockSize_) + length(block + count - 1);
            continue;
        }
        const std::size_t take = std::min(rest, length(block) - within);
        if (!readPart(block, within, take, out + done))
            return -1;
        done += take;
    }
    return static_cast<std::int64_t>(done);
}

} // namespace

const char* compressedIsoKind(ByteSource& file)
{
    std::uint8_t h[kHeaderBytes];
    // A header and at least the two entries of an index of one block.
    if (file.size() < kHeaderBytes + 8 || !readHeader(file, h))
        return nullptr;
    if (std::memcmp(h, "CISO", 4) == 0)
        return "cso";
    if (std::memcmp(h, "ZISO", 4) == 0)
        return "zso";
    return nullptr;
}

std::shared_ptr<ByteSource> openCompressedIso(std::shared_ptr<ByteSource> file, DiscError* error)
{
    std::uint8_t h[kHeaderBytes];
    if (!readHeader(*file, h)) {
        error->what = "The compressed image's header is cut short.";
        return nullptr;
    }
    const bool zso = std::memcmp(h, "ZISO", 4) == 0;
    const unsigned version = h[20];
    const Kind kind = zso ? Kind::Zso : version == 2 ? Kind::Cso2 : Kind::Cso1;
    if (zso ? version > 1 : version > 2) {
        error->what = "The compressed image is of version " + std::to_string(version) +
                      ", which is not known.";
        return nullptr;
    }
    // Only version 2 keeps the header size reliably.
    if (kind == Kind::Cso2 && le32(h + 4) != kHeaderBytes) {
        error->what = "The compressed image's header gives its size as " +
                      std::to_string(le32(h + 4)) + " bytes instead of 24.";
        return nullptr;
    }
    const std::uint64_t total = le32(h + 8) | (std::uint64_t(le32(h + 12)) << 32);
    const std::uint32_t blockSize = le32(h + 16);
    const unsigned shift = h[21];
    if (blockSize < kMinBlock || blockSize > kMaxBlock || (blockSize & (blockSize - 1))) {
        error->what = "The compressed image's block size of " + std::to_string(blockSize) +
                      " bytes is not a power of two from 2048 bytes to 4 MiB.";
        return nullptr;
    }
    if (total == 0) {
        error->what = "The compressed image holds no data.";
        return nullptr;
    }
    if (shift > 31) {
        error->what =
            "The compressed image's index shift of " + std::to_string(shift) + " is out of range.";
        return nullptr;
    }
    // The index has an entry per block and one for the end; it, and at
    // least a byte of every block, must lie in the file.
    const std::uint64_t fileSize = file->size();
    const std::uint64_t blocks = total / blockSize + (total % blockSize != 0);
    if (blocks > (fileSize - kHeaderBytes) / 5) {
        error->what = "The compressed image claims " + std::to_string(total) +
                      " bytes, more than its index and blocks in a file of " +
                      std::to_string(fileSize) + " bytes can hold.";
        return nullptr;
    }
    const auto entries = static_cast<std::size_t>(blocks + 1);
    const std::uint64_t dataStart = kHeaderBytes + std::uint64_t(entries) * 4;
    std::vector<std::uint32_t> index(entries);
    std::vector<std::uint8_t> raw;
    std::uint64_t previous = 0;
    for (std::size_t i = 0; i < entries;) {
        const std::size_t n = std::min<std::size_t>(entries - i, 16384);
        raw.resize(n * 4);
        if (!file->readExact(kHeaderBytes + std::uint64_t(i) * 4, raw.data(), raw.size())) {
            error->what = "The compressed image's index of blocks cannot be read.";
            return nullptr;
        }
        for (std::size_t k = 0; k < n; ++k, ++i) {
            index[i] = le32(raw.data() + k * 4);
            const std::uint64_t at = std::uint64_t(index[i] & ~kFlag) << shift;
            if (i == 0 ? at < dataStart : at <= previous) {
                error->what = i == 0 ? "The compressed image's first block lies inside its index."
                                     : "The compressed image's index of blocks is not in "
                                       "ascending order.";
                return nullptr;
            }
            if (at > fileSize) {
                error->what = "The compressed image's index of blocks points past the end of "
                              "the file.";
                return nullptr;
            }
            previous = at;
        }
    }
    return std::make_shared<CompressedSource>(std::move(file), kind, total, blockSize, shift,
                                              std::move(index));
}

} // namespace vbe
