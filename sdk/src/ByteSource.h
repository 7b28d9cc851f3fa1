// Byte sources: the only way the parser reaches image data.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vbe {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to n bytes at offset into dst. Returns the count read, which is
    // short only at the end of the source, or -1 when the read failed.
    virtual std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) = 0;

    // Where the data the source holds ends: every byte from there on reads
    // as zero. size() when that is not known.
    virtual std::uint64_t dataEnd() { return size(); }

    // Reads exactly n bytes or fails.
    bool readExact(std::uint64_t offset, void* dst, std::size_t n)
    {
        return readAt(offset, dst, n) == static_cast<std::int64_t>(n);
    }
};

// A file opened read-only, read with positioned reads. Sequential reads ask the
// kernel to fetch the next window ahead of time.
class FileSource final : public ByteSource
{
public:
    static std::unique_ptr<FileSource> open(const std::string& path, int* error);
    ~FileSource() override;
    std::uint64_t size() const override { return size_; }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override;
    // The end of the file's last stretch of data, where the file system
    // reports holes.
    std::uint64_t dataEnd() override;

private:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    std::uint64_t size_;
    std::atomic<std::uint64_t> nextSequential_{~0ull};
    std::atomic<std::uint64_t> aheadUntil_{0};
};

// Opens the image file at a UTF-16 path for reading. Returns kOk with the
// file, or the module's result for why it cannot be opened: kFileNotFound,
// kAccessDenied, else kFail.
std::int32_t openImageFile(const char16_t* path, std::shared_ptr<ByteSource>* file);

// The data of small files that lie one after another in the image, read
// together: a small read that starts at or shortly after where the last one
// ended fetches kSpan bytes from there, and the reads that follow are served
// from them. Reads out of that order, and large ones, go straight through,
// so files read in another order than they are stored cost no more than
// before. For one thread at a time.
class GatheredSource final : public ByteSource
{
public:
    static constexpr std::size_t kSpan = 256 * 1024;
    static constexpr std::size_t kSmall = 16 * 1024;
    // How far past the end of the last read a small one may start and still
    // count as the next in line.
    static constexpr std::uint64_t kGap = 64 * 1024;

    explicit GatheredSource(std::shared_ptr<ByteSource> inner) : inner_(std::move(inner)) {}
    std::uint64_t size() const override { return inner_->size(); }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    std::shared_ptr<ByteSource> inner_;
    std::vector<std::uint8_t> span_;
    std::uint64_t spanStart_ = 0;
    std::uint64_t lastEnd_ = ~0ull;
};

// Bytes held in memory (tests, the fuzzer).
class MemorySource final : public ByteSource
{
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit MemorySource(std::vector<std::uint8_t> owned)
        : owned_(std::move(owned)), data_(owned_.data()), size_(owned_.size())
    {
    }
    std::uint64_t size() const override { return size_; }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    std::vector<std::uint8_t> owned_;
    const std::uint8_t* data_;
    std::size_t size_;
};

// How 2048-byte logical blocks sit in the image file.
struct SectorLayout
{
    std::uint32_t sectorSize = 2048; // 2048, 2352 or 2336
    std::uint32_t dataOffset = 0;    // where the 2048 user bytes start in a sector
    const char* name() const;
};

// Presents the user data of an image of raw sectors as a plain run of 2048-byte
// blocks; every read is split at sector boundaries.
class SectorSource final : public ByteSource
{
public:
    SectorSource(std::shared_ptr<ByteSource> raw, SectorLayout layout);
    std::uint64_t size() const override { return size_; }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override;
    std::uint64_t dataEnd() override;

private:
    std::shared_ptr<ByteSource> raw_;
    SectorLayout layout_;
    std::uint64_t size_;
};

// Recognises the sector layout by content: a volume descriptor at block 16 of
// plain 2048-byte sectors, or the sync pattern and header of raw sectors.
bool detectSectorLayout(ByteSource& src, SectorLayout* layout);

// The logical (2048-byte block) view of an image file.
std::shared_ptr<ByteSource> logicalView(std::shared_ptr<ByteSource> file,
                                        const SectorLayout& layout);

} // namespace vbe
