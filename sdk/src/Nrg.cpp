#include "Nrg.h"

#include <array>
#include <cstring>
#include <optional>

namespace vbe {

namespace {

constexpr std::uint32_t kChunkHeader = 8;
constexpr std::uint32_t kDaoHeader = 22; // size again, UPC, TOC type, first and last track
constexpr std::uint32_t kDaoTrack1 = 30; // ISRC, sector size, mode, three 32-bit offsets
constexpr std::uint32_t kDaoTrack2 = 42; // the same with 64-bit offsets
constexpr std::uint32_t kTaoTrack1 = 20; // offset, length, mode, start, unused
constexpr std::uint32_t kTaoTrack2 = 32; // 64-bit offset and length
constexpr std::uint32_t kCueEntry = 8;

std::uint64_t be(const std::uint8_t* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

int fromBcd(std::uint8_t b)
{
    return (b >> 4) > 9 || (b & 15) > 9 ? -1 : (b >> 4) * 10 + (b & 15);
}

// Where the footer lies and the offset of the first chunk it names.
struct Footer
{
    std::uint64_t at = 0;
    std::uint64_t chunks = 0;
};

std::optional<Footer> readFooter(ByteSource& file)
{
    const std::uint64_t size = file.size();
    std::uint8_t tail[12];
    if (size >= 12 && file.readExact(size - 12, tail, 12) && std::memcmp(tail, "NER5", 4) == 0)
        return Footer{size - 12, be(tail + 4, 8)};
    if (size >= 8 && file.readExact(size - 8, tail, 8) && std::memcmp(tail, "NERO", 4) == 0)
        return Footer{size - 8, be(tail + 4, 4)};
    return std::nullopt;
}

// What a track's mode code says of its sectors.
enum class Kind
{
    Unknown,
    Mode1,
    Mode2,
    Audio
};

struct ModeCode
{
    std::uint8_t code;
    std::uint32_t sectorSize;
    Kind kind;
};

constexpr ModeCode kModes[] = {
    {0x00, 2048, Kind::Mode1}, {0x02, 2048, Kind::Mode1}, {0x03, 2336, Kind::Mode2},
    {0x05, 2352, Kind::Mode1}, {0x06, 2352, Kind::Mode2}, {0x07, 2352, Kind::Audio},
    {0x0f, 2448, Kind::Mode1}, {0x10, 2448, Kind::Audio}, {0x11, 2448, Kind::Mode2},
};

const ModeCode* findMode(std::uint32_t code)
{
    for (const ModeCode& m : kModes)
        if (m.code == code)
            return &m;
    return nullptr;
}

// A track as a DAO or TAO chunk stores it: bytes from where it starts in
// the file (its INDEX 00 for DAO) to where INDEX 01 starts and where it ends.
struct Stored
{
    std::uint32_t number = 0;
    std::uint32_t sectorSize = 0;
    std::uint32_t mode = 0;
    std::uint64_t index0 = 0;
    std::uint64_t index1 = 0;
    std::uint64_t end = 0;
    std::optional<std::int64_t> startLba; // TAO: the address of its first stored sector
    std::uint32_t chunk = 0;              // which DAO or TAO chunk described it
};

class Reader
{
public:
    Reader(ByteSource& file, DiscError* error) : file_(file), error_(error) {}

    bool read(Disc* disc);

private:
    bool fail(const std::string& what)
    {
        error_->what = what;
        return false;
    }
    bool chunk(const char* id, const std::uint8_t* p, std::uint32_t size);
    bool cues(const std::uint8_t* p, std::uint32_t size, bool msf);
    bool dao(const std::uint8_t* p, std::uint32_t size, bool wide);
    bool tao(const std::uint8_t* p, std::uint32_t size, bool wide);
    bool addStored(const Stored& s);
    bool makeTrack(const Stored& s, Track* t);

    ByteSource& file_;
    DiscError* error_;
    Footer footer_;
    std::vector<Stored> stored_;
    std::vector<std::uint32_t> sessionTracks_; // from the SINF chunks
    std::uint32_t chunks_ = 0;                 // DAO and TAO chunks read
    std::int64_t previousEnd_ = 0;
    std::array<std::optional<std::int64_t>, 100> index1_{};
};

bool Reader::cues(const std::uint8_t* p, std::uint32_t size, bool msf)
{
    for (std::uint32_t at = 0; at + kCueEntry <= size; at += kCueEntry) {
        const std::uint8_t* e = p + at;
        const int track = fromBcd(e[1]);
        // The lead-in (track 0) and lead-out (0xAA) say nothing of a track.
        if (track <= 0 || fromBcd(e[2]) != 1)
            continue;
        std::int64_t lba;
        if (msf) {
            const int m = fromBcd(e[5]), s = fromBcd(e[6]), f = fromBcd(e[7]);
            if (m < 0 || s < 0 || f < 0)
                return fail("The NRG image's cue sheet holds an address that is no number.");
            lba = (m * 60 + s) * 75 + f - 150;
        } else {
            lba = static_cast<std::int32_t>(be(e + 4, 4));
        }
        index1_[track] = lba;
    }
    return true;
}

bool Reader::addStored(const Stored& s)
{
    if (s.chunk >= limits::kMaxTracks)
        return fail("The NRG image describes more than 99 sessions.");
    if (stored_.size() >= limits::kMaxTracks)
        return fail("The NRG image describes more than 99 tracks.");
    stored_.push_back(s);
    return true;
}

bool Reader::dao(const std::uint8_t* p, std::uint32_t size, bool wide)
{
    const std::uint32_t entry = wide ? kDaoTrack2 : kDaoTrack1;
    if (size < kDaoHeader || (size - kDaoHeader) % entry != 0)
        return fail("The NRG image's disc-at-once chunk has a size that fits no tracks.");
    const std::uint32_t count = (size - kDaoHeader) / entry;
    if (count > limits::kMaxTracks)
        return fail("The NRG image describes more than 99 tracks.");
    const std::uint32_t first = p[20] ? p[20] : std::uint32_t(stored_.size() + 1);
    const int offsetBytes = wide ? 8 : 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = p + kDaoHeader + i * entry;
        Stored s;
        s.number = first + i;
        s.sectorSize = static_cast<std::uint32_t>(be(e + 12, 2));
        s.mode = e[14];
        s.index0 = be(e + 18, offsetBytes);
        s.index1 = be(e + 18 + offsetBytes, offsetBytes);
        s.end = be(e + 18 + 2 * offsetBytes, offsetBytes);
        s.chunk = chunks_;
        if (!addStored(s))
            return false;
    }
    ++chunks_;
    return true;
}

bool Reader::tao(const std::uint8_t* p, std::uint32_t size, bool wide)
{
    const std::uint32_t entry = wide ? kTaoTrack2 : kTaoTrack1;
    if (size % entry != 0)
        return fail("The NRG image's track-at-once chunk has a size that fits no tracks.");
    if (size / entry > limits::kMaxTracks)
        return fail("The NRG image describes more than 99 tracks.");
    const int bytes = wide ? 8 : 4;
    for (std::uint32_t at = 0; at < size; at += entry) {
        const std::uint8_t* e = p + at;
        Stored s;
        s.number = static_cast<std::uint32_t>(stored_.size() + 1);
        s.index0 = s.index1 = be(e, bytes);
        const std::uint64_t length = be(e + bytes, bytes);
        s.mode = static_cast<std::uint32_t>(be(e + 2 * bytes, 4));
        s.startLba = be(e + 2 * bytes + 4, 4);
        const ModeCode* m = findMode(s.mode);
        if (!m)
            return fail("Track " + std::to_string(s.number) +
                        " of the NRG image has a mode this program does not know.");
        s.sectorSize = m->sectorSize;
        if (length > file_.size() || s.index0 > file_.size() - length)
            return fail("Track " + std::to_string(s.number) +
                        " of the NRG image lies beyond the end of the file.");
        s.end = s.index0 + length;
        s.chunk = chunks_;
        if (!addStored(s))
            return false;
    }
    ++chunks_;
    return true;
}

bool Reader::chunk(const char* id, const std::uint8_t* p, std::uint32_t size)
{
    auto is = [&](const char* name) { return std::memcmp(id, name, 4) == 0; };
    if (is("CUES") || is("CUEX"))
        return cues(p, size, is("CUES"));
    if (is("DAOI") || is("DAOX"))
        return dao(p, size, is("DAOX"));
    if (is("ETNF") || is("ETN2"))
        return tao(p, size, is("ETN2"));
    if (is("SINF")) {
        if (size < 4)
            return fail("The NRG image's session chunk is too short.");
        const std::uint64_t n = be(p, 4);
        if (n > limits::kMaxTracks || sessionTracks_.size() >= limits::kMaxTracks)
            return fail("The NRG image describes more than 99 tracks.");
        sessionTracks_.push_back(static_cast<std::uint32_t>(n));
    }
    // MTYP, CDTX, DINF, RELO, TOCT and others say nothing of where sectors lie.
    return true;
}

bool Reader::makeTrack(const Stored& s, Track* t)
{
    const std::string which = "Track " + std::to_string(s.number) + " of the NRG image";
    if (s.number < 1 || s.number > 99)
        return fail(which + " has a number beyond 99.");
    if (s.sectorSize != 2048 && s.sectorSize != 2336 && s.sectorSize != 2352 &&
        s.sectorSize != 2448)
        return fail(which + " has sectors of an unknown size.");
    if (s.index0 > s.index1 || s.index1 > s.end)
        return fail(which + " has its starts and end out of order.");
    if (s.end > footer_.chunks)
        return fail(which + " lies beyond the end of the file.");
    const ModeCode* m = findMode(s.mode);
    Kind kind = m && m->sectorSize == s.sectorSize ? m->kind : Kind::Unknown;
    if (kind == Kind::Unknown && s.sectorSize == 2048)
        kind = Kind::Mode1;
    if (kind == Kind::Unknown && s.sectorSize == 2336)
        kind = Kind::Mode2;
    if (kind == Kind::Unknown) {
        // A raw sector says what it is in its header; no sync pattern, audio.
        static const std::uint8_t kSync[12] = {0,    0xff, 0xff, 0xff, 0xff, 0xff,
                                               0xff, 0xff, 0xff, 0xff, 0xff, 0};
        std::uint8_t head[16] = {};
        const bool read = s.end - s.index1 >= 16 && file_.readExact(s.index1, head, 16);
        kind = !read || std::memcmp(head, kSync, 12) != 0 ? Kind::Audio
               : head[15] == 2                            ? Kind::Mode2
                                                          : Kind::Mode1;
    }
    t->number = static_cast<std::uint8_t>(s.number);
    t->sectorSize = s.sectorSize;
    t->audio = kind == Kind::Audio;
    t->dataOffset = t->audio || s.sectorSize == 2048 ? 0
                    : s.sectorSize == 2336           ? 8
                    : kind == Kind::Mode2            ? 24
                                                     : 16;
    t->mode = t->audio ? "AUDIO"
                       : std::string(kind == Kind::Mode2 ? "MODE2/" : "MODE1/") +
                             std::to_string(s.sectorSize);
    std::uint64_t pregap = (s.index1 - s.index0) / s.sectorSize;
    std::uint64_t sectors = (s.end - s.index1) / s.sectorSize;
    std::int64_t start;
    const std::optional<std::int64_t>& cue = index1_[s.number];
    if (s.startLba) {
        // A track written at once starts with its pregap, if any; the cue
        // sheet tells where INDEX 01 lies in it.
        start = *s.startLba;
        if (cue && *cue > start && std::uint64_t(*cue - start) <= sectors) {
            pregap = std::uint64_t(*cue - start);
            sectors -= pregap;
            start = *cue;
        }
    } else if (cue) {
        start = *cue;
    } else {
        start = previousEnd_ + std::int64_t(pregap);
    }
    if (sectors > 0xFFFFFFFFull)
        return fail(which + " holds more sectors than a disc has addresses.");
    if (start < 0 || start > 0xFFFFFFFFll)
        return fail(which + " starts outside the disc's addresses.");
    t->startLba = static_cast<std::uint32_t>(start);
    t->storedPregap = static_cast<std::uint32_t>(pregap);
    t->sectors = static_cast<std::uint32_t>(sectors);
    t->fileOffset = s.index0 + pregap * s.sectorSize;
    previousEnd_ = start + std::int64_t(sectors);
    return true;
}

bool Reader::read(Disc* disc)
{
    const std::optional<Footer> footer = readFooter(file_);
    if (!footer)
        return fail("The file is no NRG image: it ends without a Nero footer.");
    footer_ = *footer;
    if (footer_.chunks >= file_.size())
        return fail("The NRG image's description lies past its end.");
    if (footer_.chunks >= footer_.at)
        return fail("The NRG image's description starts inside its footer.");
    const std::uint64_t area = footer_.at - footer_.chunks;
    if (area > limits::kMaxDescriptionBytes)
        return fail("The NRG image's description is larger than this program reads.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(area));
    if (!file_.readExact(footer_.chunks, bytes.data(), bytes.size()))
        return fail("The NRG image's description cannot be read.");
    std::size_t at = 0;
    for (;;) {
        if (bytes.size() - at < kChunkHeader)
            return fail("The NRG image's description ends before its last chunk.");
        const char* id = reinterpret_cast<const char*>(bytes.data() + at);
        const std::uint64_t size = be(bytes.data() + at + 4, 4);
        at += kChunkHeader;
        if (std::memcmp(id, "END!", 4) == 0)
            break;
        if (size > bytes.size() - at)
            return fail("A chunk of the NRG image's description runs past its end.");
        if (!chunk(id, bytes.data() + at, static_cast<std::uint32_t>(size)))
            return false;
        at += static_cast<std::size_t>(size);
    }
    if (stored_.empty())
        return fail("The NRG image describes no tracks.");
    std::uint32_t sessionTotal = 0;
    for (std::uint32_t n : sessionTracks_)
        sessionTotal += n;
    if (!sessionTracks_.empty() && sessionTotal != stored_.size())
        return fail("The NRG image's sessions do not hold the tracks it describes.");
    std::size_t session = 0, inSession = 0;
    for (const Stored& s : stored_) {
        Track t;
        if (!makeTrack(s, &t))
            return false;
        if (sessionTracks_.empty()) {
            t.session = static_cast<std::uint8_t>(s.chunk + 1);
        } else {
            while (inSession == sessionTracks_[session]) {
                ++session;
                inSession = 0;
            }
            ++inSession;
            t.session = static_cast<std::uint8_t>(session + 1);
        }
        disc->tracks.push_back(std::move(t));
    }
    return checkDisc(*disc, error_);
}

} // namespace

bool isNrg(ByteSource& file)
{
    // The footer must point before itself: a plain image cut out of an NRG
    // file (nrg2iso drops the first 150 sectors) still ends with the footer,
    // now pointing past the end, and is read as the image it is.
    const std::optional<Footer> footer = readFooter(file);
    return footer && footer->chunks < footer->at;
}

bool readNrg(std::shared_ptr<ByteSource> file, Disc* disc, DiscError* error)
{
    disc->container = "nrg";
    disc->files.assign(1, file);
    disc->tracks.clear();
    return Reader(*file, error).read(disc);
}

} // namespace vbe
