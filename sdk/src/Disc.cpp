#include "Disc.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <strings.h>

namespace vbe {

namespace {

constexpr std::uint32_t kUserBytes = 2048;
constexpr std::uint32_t kAudioSector = 2352;
constexpr std::uint32_t kWavHeader = 44;

// The components of a relative name, or nothing when it is absolute, empty
// or climbs out.
bool splitName(const std::string& name, std::vector<std::string>* parts)
{
    if (name.empty() || name[0] == '/' || name.find('\0') != std::string::npos)
        return false;
    std::size_t at = 0;
    while (at <= name.size()) {
        std::size_t slash = name.find('/', at);
        if (slash == std::string::npos)
            slash = name.size();
        std::string part = name.substr(at, slash - at);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            parts->push_back(std::move(part));
        at = slash + 1;
    }
    return !parts->empty();
}

// The entry of folder named part, or one that differs from it only in
// case; empty when there is none.
std::string findEntry(const std::string& folder, const std::string& part)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return {};
    std::string found;
    while (dirent* d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, part.c_str()) == 0) {
            found = d->d_name;
            break;
        }
        if (found.empty() && ::strcasecmp(d->d_name, part.c_str()) == 0)
            found = d->d_name;
    }
    ::closedir(dir);
    return found == "." || found == ".." ? std::string() : found;
}

void putLe32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

void putLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

} // namespace

std::shared_ptr<ByteSource> DirectoryFolder::open(const std::string& name, int* error) const
{
    std::vector<std::string> parts;
    if (!splitName(name, &parts)) {
        *error = ENOENT;
        return nullptr;
    }
    std::string path = path_.empty() ? std::string(".") : path_;
    for (const std::string& part : parts) {
        const std::string entry = findEntry(path, part);
        if (entry.empty()) {
            *error = ENOENT;
            return nullptr;
        }
        path += '/';
        path += entry;
    }
    return FileSource::open(path, error);
}

bool checkDisc(const Disc& disc, DiscError* error)
{
    auto fail = [&](const std::string& what) {
        error->what = what;
        return false;
    };
    if (disc.tracks.empty())
        return fail("The image describes no tracks.");
    if (disc.tracks.size() > limits::kMaxTracks)
        return fail("The image describes more than 99 tracks.");
    std::uint64_t end = 0;
    std::uint8_t session = 1;
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
        const Track& t = disc.tracks[i];
        const std::string which = "Track " + std::to_string(t.number);
        if (t.file >= disc.files.size() || !disc.files[t.file])
            return fail(which + " lies in no file of the image.");
        if (t.sectorSize != 2048 && t.sectorSize != 2336 && t.sectorSize != 2352 &&
            t.sectorSize != 2448)
            return fail(which + " has sectors of an unknown size.");
        if (t.audio ? t.sectorSize < kAudioSector || t.dataOffset != 0
                    : t.dataOffset + kUserBytes > t.sectorSize)
            return fail(which + " does not fit its sectors.");
        if (t.session < session || t.session > 99)
            return fail(which + " lies in a session before the one of the track before it.");
        session = t.session;
        if (i > 0 && t.startLba < end)
            return fail(which + " overlaps the track before it.");
        if (i > 0 && t.startLba - end > limits::kMaxTrackGap)
            return fail(which + " lies far beyond the track before it.");
        end = std::uint64_t(t.startLba) + t.sectors;
        if (end > 0xFFFFFFFFull)
            return fail(which + " ends beyond the last address of a disc.");
        const std::uint64_t fileSize = disc.files[t.file]->size();
        const std::uint64_t bytes = std::uint64_t(t.sectors) * t.sectorSize;
        const std::uint64_t pregap = std::uint64_t(t.storedPregap) * t.sectorSize;
        if (t.fileOffset > fileSize || bytes > fileSize - t.fileOffset || pregap > t.fileOffset)
            return fail(which + " reaches beyond the end of its file.");
    }
    return true;
}

std::vector<std::uint32_t> dataSessionStarts(const Disc& disc)
{
    std::vector<std::uint32_t> starts;
    int session = -1;
    for (const Track& t : disc.tracks) {
        if (t.audio || t.session == session)
            continue;
        session = t.session;
        starts.push_back(t.startLba);
    }
    return starts;
}

DiscSource::DiscSource(std::shared_ptr<const Disc> disc) : disc_(std::move(disc))
{
    for (std::size_t i = 0; i < disc_->tracks.size(); ++i) {
        const Track& t = disc_->tracks[i];
        if (t.audio)
            continue;
        data_.push_back(i);
        size_ = std::max(size_, (std::uint64_t(t.startLba) + t.sectors) * kUserBytes);
    }
}

std::uint64_t DiscSource::audioOffset(std::size_t index) const
{
    // Each track's file starts at a round place of its own, far apart.
    return kAudioBase + (std::uint64_t(index) << 40);
}

std::uint64_t DiscSource::audioSize(std::size_t index) const
{
    const Track& t = disc_->tracks[index];
    std::uint64_t sectors = t.sectors;
    if (index + 1 < disc_->tracks.size()) {
        const Track& next = disc_->tracks[index + 1];
        if (next.audio && next.session == t.session)
            sectors += next.storedPregap;
    }
    return kWavHeader + sectors * kAudioSector;
}

std::int64_t DiscSource::readAt(std::uint64_t offset, void* dst, std::size_t n)
{
    auto* out = static_cast<std::uint8_t*>(dst);
    return offset >= kAudioBase ? readAudio(offset, out, n) : readData(offset, out, n);
}

std::int64_t DiscSource::readData(std::uint64_t offset, std::uint8_t* out, std::size_t n)
{
    if (offset >= size_ || n == 0)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t pos = offset + done;
        const std::uint64_t lba = pos / kUserBytes;
        // The data track holding lba, or the next one after it.
        auto it =
            std::lower_bound(data_.begin(), data_.end(), lba, [&](std::size_t i, std::uint64_t a) {
                const Track& t = disc_->tracks[i];
                return std::uint64_t(t.startLba) + t.sectors <= a;
            });
        if (it == data_.end() || disc_->tracks[*it].startLba > lba) {
            // Between tracks: zeros up to the next one.
            const std::uint64_t until =
                it == data_.end() ? size_ : std::uint64_t(disc_->tracks[*it].startLba) * kUserBytes;
            const std::size_t k =
                static_cast<std::size_t>(std::min<std::uint64_t>(n - done, until - pos));
            std::memset(out + done, 0, k);
            done += k;
            continue;
        }
        const Track& t = disc_->tracks[*it];
        ByteSource& file = *disc_->files[t.file];
        const std::uint64_t trackEnd = (std::uint64_t(t.startLba) + t.sectors) * kUserBytes;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(n - done, trackEnd - pos));
        const std::uint64_t rel = pos - std::uint64_t(t.startLba) * kUserBytes;
        if (t.sectorSize == kUserBytes) {
            const std::int64_t got = file.readAt(t.fileOffset + rel, out + done, want);
            if (got < 0)
                return done ? static_cast<std::int64_t>(done) : -1;
            done += static_cast<std::size_t>(got);
            if (static_cast<std::size_t>(got) < want)
                break;
            continue;
        }
        // Raw sectors: read a run of them and keep the user bytes.
        constexpr std::size_t kRun = 64;
        std::uint64_t sector = rel / kUserBytes;
        std::uint32_t within = static_cast<std::uint32_t>(rel % kUserBytes);
        const std::size_t count =
            std::min<std::size_t>(kRun, (within + want + kUserBytes - 1) / kUserBytes);
        std::vector<std::uint8_t> raw(count * t.sectorSize);
        const std::int64_t got =
            file.readAt(t.fileOffset + sector * t.sectorSize, raw.data(), raw.size());
        if (got < 0)
            return done ? static_cast<std::int64_t>(done) : -1;
        const std::size_t have = static_cast<std::size_t>(got);
        std::size_t taken = 0;
        for (std::size_t k = 0; k < count && taken < want; ++k) {
            const std::size_t start = k * t.sectorSize + t.dataOffset + within;
            const std::size_t take = std::min<std::size_t>(want - taken, kUserBytes - within);
            if (start + take > have)
                return static_cast<std::int64_t>(done);
            std::memcpy(out + done, raw.data() + start, take);
            done += take;
            taken += take;
            within = 0;
        }
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t DiscSource::readAudio(std::uint64_t offset, std::uint8_t* out, std::size_t n)
{
    const std::uint64_t index = (offset - kAudioBase) >> 40;
    if (index >= disc_->tracks.size() || !disc_->tracks[index].audio)
        return -1;
    const std::uint64_t pos = offset - audioOffset(index);
    const std::uint64_t total = audioSize(index);
    if (pos >= total || n == 0)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, total - pos));
    std::size_t done = 0;
    if (pos < kWavHeader) {
        std::uint8_t h[kWavHeader] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                      'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
        const std::uint32_t samples = static_cast<std::uint32_t>(total - kWavHeader);
        putLe32(h + 4, samples + 36);
        putLe16(h + 20, 1);         // PCM
        putLe16(h + 22, 2);         // stereo
        putLe32(h + 24, 44100);     // samples per second
        putLe32(h + 28, 44100 * 4); // bytes per second
        putLe16(h + 32, 4);         // bytes per frame
        putLe16(h + 34, 16);        // bits per sample
        std::memcpy(h + 36, "data", 4);
        putLe32(h + 40, samples);
        done = static_cast<std::size_t>(std::min<std::uint64_t>(n, kWavHeader - pos));
        std::memcpy(out, h + pos, done);
    }
    const Track& t = disc_->tracks[index];
    const Track* next = index + 1 < disc_->tracks.size() ? &disc_->tracks[index + 1] : nullptr;
    constexpr std::size_t kRun = 64;
    std::vector<std::uint8_t> raw;
    while (done < n) {
        const std::uint64_t at = pos + done - kWavHeader;
        std::uint64_t sector = at / kAudioSector;
        const std::uint32_t within = static_cast<std::uint32_t>(at % kAudioSector);
        // The track's own sectors, then the pregap of the next one, which
        // lies just before that track's first sector.
        const Track& from = sector < t.sectors ? t : *next;
        const std::uint64_t base =
            sector < t.sectors
                ? t.fileOffset
                : next->fileOffset - std::uint64_t(next->storedPregap) * next->sectorSize;
        const std::uint64_t left =
            sector < t.sectors ? t.sectors - sector : t.sectors + next->storedPregap - sector;
        if (sector >= t.sectors)
            sector -= t.sectors;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(
            {kRun, left, (within + (n - done) + kAudioSector - 1) / kAudioSector}));
        raw.resize(count * from.sectorSize);
        ByteSource& file = *disc_->files[from.file];
        if (!file.readExact(base + sector * from.sectorSize, raw.data(), raw.size()))
            return done ? static_cast<std::int64_t>(done) : -1;
        std::uint32_t skip = within;
        for (std::size_t k = 0; k < count && done < n; ++k) {
            std::uint8_t* s = raw.data() + k * from.sectorSize;
            if (from.swapBytes)
                for (std::uint32_t b = 0; b + 1 < kAudioSector; b += 2)
                    std::swap(s[b], s[b + 1]);
            const std::size_t take = std::min<std::size_t>(n - done, kAudioSector - skip);
            std::memcpy(out + done, s + skip, take);
            done += take;
            skip = 0;
        }
    }
    return static_cast<std::int64_t>(done);
}

} // namespace vbe
