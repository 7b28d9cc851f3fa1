#include "ByteSource.h"

#include "Text.h"
#include "VbeSdk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vbe {

namespace {
constexpr std::uint64_t kReadAheadWindow = 4u << 20;
constexpr std::uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
} // namespace

std::int32_t openImageFile(const char16_t* path, std::shared_ptr<ByteSource>* file)
{
    int error = 0;
    *file = FileSource::open(utf16ToUtf8(path), &error);
    if (*file)
        return kOk;
    if (error == ENOENT || error == ENOTDIR)
        return kFileNotFound;
    if (error == EACCES || error == EPERM)
        return kAccessDenied;
    return kFail;
}

std::unique_ptr<FileSource> FileSource::open(const std::string& path, int* error)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno;
        return nullptr;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error)
            *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<std::uint64_t>(st.st_size)));
}

FileSource::~FileSource()
{
    ::close(fd_);
}

std::uint64_t FileSource::dataEnd()
{
    // The holes are found from the end: the last hole that reaches the end
    // of the file starts where the data ends. Walking the stretches of data
    // from the start instead would cost one call per stretch.
    if (size_ == 0)
        return 0;
    const off_t lastByte = static_cast<off_t>(size_ - 1);
    if (::lseek(fd_, lastByte, SEEK_DATA) == lastByte)
        return size_; // the last byte is data
    // Halve the range where the last data lies: [low, high) holds the end.
    std::uint64_t low = 0, high = size_;
    for (int step = 0; step < 64 && high - low > 4096; ++step) {
        const std::uint64_t mid = low + (high - low) / 2;
        const off_t data = ::lseek(fd_, static_cast<off_t>(mid), SEEK_DATA);
        if (data < 0) {
            if (errno != ENXIO)
                return size_; // holes not reported
            high = mid;       // nothing but holes from mid on
        } else {
            const off_t hole = ::lseek(fd_, data, SEEK_HOLE);
            if (hole < 0)
                return size_;
            low = static_cast<std::uint64_t>(hole);
            if (low >= high)
                return std::min<std::uint64_t>(low, size_);
        }
    }
    return high;
}

std::int64_t FileSource::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset >= size_ || n == 0)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));

    // A read that continues the previous one: keep a window fetched ahead.
    if (nextSequential_.load(std::memory_order_relaxed) == offset) {
        std::uint64_t end = offset + n;
        if (aheadUntil_.load(std::memory_order_relaxed) < end + kReadAheadWindow / 2) {
            ::posix_fadvise(fd_, static_cast<off_t>(end), static_cast<off_t>(kReadAheadWindow),
                            POSIX_FADV_WILLNEED);
            aheadUntil_.store(end + kReadAheadWindow, std::memory_order_relaxed);
        }
    }

    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    nextSequential_.store(offset + done, std::memory_order_relaxed);
    return static_cast<std::int64_t>(done);
}

std::int64_t GatheredSource::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    // What lies beyond the blocks (the audio tracks of a disc) has its own
    // reads.
    if (offset >= inner_->size())
        return inner_->readAt(offset, dst, n);
    const std::uint64_t spanEnd = spanStart_ + span_.size();
    // Within the bytes fetched last; a span cut short by the end of the
    // image serves what it has.
    if (n && offset >= spanStart_ && offset < spanEnd &&
        (n <= spanEnd - offset || spanEnd >= inner_->size())) {
        const std::size_t k =
            static_cast<std::size_t>(std::min<std::uint64_t>(n, spanEnd - offset));
        std::memcpy(dst, span_.data() + (offset - spanStart_), k);
        lastEnd_ = offset + k;
        return static_cast<std::int64_t>(k);
    }
    if (n <= kSmall && lastEnd_ != ~0ull && offset >= lastEnd_ && offset - lastEnd_ <= kGap) {
        span_.resize(kSpan);
        const std::int64_t got = inner_->readAt(offset, span_.data(), span_.size());
        span_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        spanStart_ = offset;
        if (got > 0) {
            const std::size_t k = std::min(n, span_.size());
            std::memcpy(dst, span_.data(), k);
            lastEnd_ = offset + k;
            return static_cast<std::int64_t>(k);
        }
    }
    const std::int64_t got = inner_->readAt(offset, dst, n);
    lastEnd_ = got >= 0 ? offset + static_cast<std::uint64_t>(got) : ~0ull;
    return got;
}

std::int64_t MemorySource::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset >= size_)
        return 0;
    std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    if (k)
        std::memcpy(dst, data_ + offset, k);
    return static_cast<std::int64_t>(k);
}

const char* SectorLayout::name() const
{
    if (sectorSize == 2048)
        return "2048";
    if (sectorSize == 2336)
        return "2336";
    return dataOffset == 16 ? "2352/mode1" : "2352/mode2";
}

SectorSource::SectorSource(std::shared_ptr<ByteSource> raw, SectorLayout layout)
    : raw_(std::move(raw)), layout_(layout)
{
    std::uint64_t sectors = raw_->size() / layout_.sectorSize;
    // A last partial sector still counts for the user bytes it holds.
    std::uint64_t rest = raw_->size() % layout_.sectorSize;
    size_ = sectors * 2048;
    if (rest > layout_.dataOffset)
        size_ += std::min<std::uint64_t>(rest - layout_.dataOffset, 2048);
}

std::uint64_t SectorSource::dataEnd()
{
    const std::uint64_t rawEnd = raw_->dataEnd();
    const std::uint64_t sectors = (rawEnd + layout_.sectorSize - 1) / layout_.sectorSize;
    return std::min(size_, sectors * 2048);
}

std::int64_t SectorSource::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset >= size_ || n == 0)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    auto* out = static_cast<std::uint8_t*>(dst);
    const std::uint32_t sectorSize = layout_.sectorSize;
    // Whole runs of raw sectors are read in one call, then split at sector
    // boundaries into the user bytes.
    constexpr std::size_t kRun = 64;
    std::vector<std::uint8_t> raw;
    std::size_t done = 0;
    while (done < n) {
        std::uint64_t pos = offset + done;
        std::uint64_t sector = pos / 2048;
        std::uint32_t within = static_cast<std::uint32_t>(pos % 2048);
        std::size_t sectors = std::min<std::size_t>(kRun, (within + (n - done) + 2047) / 2048);
        raw.resize(sectors * sectorSize);
        std::int64_t got = raw_->readAt(sector * sectorSize, raw.data(), raw.size());
        if (got < 0)
            return done ? static_cast<std::int64_t>(done) : -1;
        std::size_t have = static_cast<std::size_t>(got);
        bool shortRead = have < raw.size();
        for (std::size_t k = 0; k < sectors && done < n; ++k) {
            std::size_t start = k * sectorSize + layout_.dataOffset + within;
            if (start >= have)
                return static_cast<std::int64_t>(done);
            std::size_t take = std::min<std::size_t>({n - done, 2048 - within, have - start});
            std::memcpy(out + done, raw.data() + start, take);
            done += take;
            if (take < 2048 - within && done < n)
                return static_cast<std::int64_t>(done);
            within = 0;
        }
        if (shortRead)
            break;
    }
    return static_cast<std::int64_t>(done);
}

namespace {

bool descriptorAt(ByteSource& src, std::uint64_t offset)
{
    std::uint8_t id[6];
    if (!src.readExact(offset, id, sizeof id))
        return false;
    if (std::memcmp(id + 1, "CD001", 5) == 0 && (id[0] <= 3 || id[0] == 255))
        return true;
    // A UDF volume recognition sequence starts where the ISO 9660 one would.
    return id[0] == 0 &&
           (std::memcmp(id + 1, "BEA01", 5) == 0 || std::memcmp(id + 1, "NSR02", 5) == 0 ||
            std::memcmp(id + 1, "NSR03", 5) == 0);
}

} // namespace

bool detectSectorLayout(ByteSource& src, SectorLayout* layout)
{
    if (descriptorAt(src, 16 * 2048)) {
        *layout = {2048, 0};
        return true;
    }
    std::uint8_t head[24];
    if (src.readExact(16ull * 2352, head, sizeof head) && std::memcmp(head, kSync, 12) == 0) {
        std::uint8_t mode = head[15];
        if (mode == 1 && descriptorAt(src, 16ull * 2352 + 16)) {
            *layout = {2352, 16};
            return true;
        }
        // Mode 2 Form 1: the subheader is written twice and has the form 2 bit clear.
        if (mode == 2 && std::memcmp(head + 16, head + 20, 4) == 0 && !(head[18] & 0x20) &&
            descriptorAt(src, 16ull * 2352 + 24)) {
            *layout = {2352, 24};
            return true;
        }
    }
    // Mode 2 sectors without sync and header: subheader first.
    if (src.readExact(16ull * 2336, head, 8) && std::memcmp(head, head + 4, 4) == 0 &&
        !(head[2] & 0x20) && descriptorAt(src, 16ull * 2336 + 8)) {
        *layout = {2336, 8};
        return true;
    }
    return false;
}

std::shared_ptr<ByteSource> logicalView(std::shared_ptr<ByteSource> file,
                                        const SectorLayout& layout)
{
    if (layout.sectorSize == 2048)
        return file;
    return std::make_shared<SectorSource>(std::move(file), layout);
}

} // namespace vbe
