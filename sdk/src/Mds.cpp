#include "Mds.h"

#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace vbe {

namespace {

constexpr char kSignature[] = "MEDIA DESCRIPTOR";
constexpr std::size_t kSignatureBytes = 16;
constexpr std::uint64_t kHeaderBytes = 88;
constexpr std::uint64_t kSessionBytes = 24;
constexpr std::uint64_t kTrackBytes = 80;
constexpr std::uint64_t kExtraBytes = 8;
constexpr std::uint64_t kFileBlockBytes = 16;
constexpr std::uint16_t kFirstDvdMedium = 0x10;

// The descriptor in memory, read little-endian; every read is checked
// against its size first with fits().
struct Descriptor
{
    std::vector<std::uint8_t> bytes;

    bool fits(std::uint64_t at, std::uint64_t n) const
    {
        return at <= bytes.size() && n <= bytes.size() - at;
    }
    std::uint64_t le(std::uint64_t at, int n) const
    {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | bytes[at + i];
        return v;
    }
    std::uint8_t u8(std::uint64_t at) const { return bytes[at]; }
    std::uint16_t u16(std::uint64_t at) const { return static_cast<std::uint16_t>(le(at, 2)); }
    std::uint32_t u32(std::uint64_t at) const { return static_cast<std::uint32_t>(le(at, 4)); }
    std::uint64_t u64(std::uint64_t at) const { return le(at, 8); }

    // The name at offset at, in 8-bit or 16-bit characters, up to its NUL
    // or the end of the descriptor.
    std::string name(std::uint64_t at, bool wide) const
    {
        if (wide) {
            std::u16string s;
            for (; fits(at, 2) && u16(at) != 0; at += 2)
                s += static_cast<char16_t>(u16(at));
            return utf16ToUtf8(s);
        }
        std::uint64_t end = at;
        while (end < bytes.size() && bytes[end] != 0)
            ++end;
        const std::uint8_t* p = bytes.data() + at;
        const std::size_t n = static_cast<std::size_t>(end - at);
        return isUtf8(p, n) ? std::string(p, p + n) : utf16ToUtf8(latin1ToUtf16(p, n));
    }
};

std::string stemOf(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// What the low bits of a track block's mode byte say; the high bits (0xA0,
// 0xE0) vary between writers without changing the mode.
enum class Kind
{
    Audio,
    Mode1,
    Mode2,
    Unknown
};

Kind kindOf(std::uint8_t mode)
{
    switch (mode & 0x07) {
    case 0x01:
        return Kind::Audio;
    case 0x02:
        return Kind::Mode1;
    case 0x06:
        return Kind::Unknown;
    default: // mode 2, formless, form 1 or form 2
        return Kind::Mode2;
    }
}

// Where the 2048 user bytes lie in a sector of the kind and size, or -1
// when the two do not go together.
int userOffset(Kind kind, std::uint32_t sectorSize)
{
    if (kind == Kind::Audio)
        return sectorSize >= 2352 ? 0 : -1;
    if (sectorSize == 2048)
        return 0;
    if (sectorSize == 2336)
        return kind == Kind::Mode2 ? 8 : -1;
    if (sectorSize == 2352 || sectorSize == 2448)
        return kind == Kind::Mode1 ? 16 : 24;
    return -1;
}

// Whether a name the descriptor gives points out of the descriptor's
// folder: absolute, with a drive, or climbing up.
bool leavesFolder(const std::string& name)
{
    if (name[0] == '/' || (name.size() > 1 && name[1] == ':'))
        return true;
    for (std::size_t at = 0; at <= name.size();) {
        std::size_t slash = name.find('/', at);
        if (slash == std::string::npos)
            slash = name.size();
        if (name.compare(at, slash - at, "..") == 0)
            return true;
        at = slash + 1;
    }
    return false;
}

std::string hex(std::uint8_t v)
{
    const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[v >> 4] + digits[v & 15];
}

} // namespace

bool isMds(ByteSource& file)
{
    char head[kSignatureBytes];
    return file.readExact(0, head, sizeof head) && std::memcmp(head, kSignature, sizeof head) == 0;
}

bool readMds(ByteSource& mds, const std::string& mdsName, const DiscFolder& folder, Disc* disc,
             DiscError* error)
{
    auto fail = [&](const std::string& what) {
        error->what = what;
        return false;
    };
    const std::uint64_t size = mds.size();
    if (size > limits::kMaxDescriptionBytes)
        return fail("The MDS file is larger than a media descriptor can be.");
    if (size < kHeaderBytes)
        return fail("The MDS file ends within its header.");
    Descriptor d;
    d.bytes.resize(static_cast<std::size_t>(size));
    if (!mds.readExact(0, d.bytes.data(), d.bytes.size()))
        return fail("The MDS file cannot be read.");
    if (d.u8(16) != 1)
        return fail("The MDS file is of version " + std::to_string(d.u8(16)) + "." +
                    std::to_string(d.u8(17)) + ", which is not read.");
    const bool dvd = d.u16(0x12) >= kFirstDvdMedium;
    const std::uint32_t sessions = d.u16(0x14);
    const std::uint32_t sessionsAt = d.u32(0x50);
    if (sessions == 0 || sessions > limits::kMaxTracks)
        return fail("The MDS file describes " + std::to_string(sessions) +
                    " sessions; a disc has 1 to 99.");
    if (!d.fits(sessionsAt, sessions * kSessionBytes))
        return fail("The session blocks of the MDS file lie beyond its end.");

    disc->container = "mds";
    const std::string stem = stemOf(mdsName);
    std::map<std::string, std::uint32_t> opened; // file name -> index into disc->files
    std::vector<std::uint64_t> filledUpTo;       // per file: the end of the last track in it

    for (std::uint32_t s = 0; s < sessions; ++s) {
        const std::uint64_t at = sessionsAt + s * kSessionBytes;
        const std::uint32_t number = d.u16(at + 8);
        const std::uint32_t blocks = d.u8(at + 10);
        const std::uint32_t blocksAt = d.u32(at + 20);
        const std::string session = "Session " + std::to_string(number);
        if (number == 0 || number > 99)
            return fail("A session block of the MDS file has the number " + std::to_string(number) +
                        "; sessions are numbered 1 to 99.");
        if (!d.fits(blocksAt, blocks * kTrackBytes))
            return fail("The track blocks of " + session + " lie beyond the end of the MDS file.");

        for (std::uint32_t b = 0; b < blocks; ++b) {
            const std::uint64_t t = blocksAt + b * kTrackBytes;
            const std::uint8_t point = d.u8(t + 4);
            // Lead-in entries (points A0 to AF) and others that are no track.
            if (point == 0 || point > 99)
                continue;
            if (disc->tracks.size() == limits::kMaxTracks)
                return fail("The MDS file describes more than 99 tracks.");
            Track track;
            track.number = point;
            track.session = static_cast<std::uint8_t>(number);
            const std::string which = "Track " + std::to_string(point);

            const Kind kind = kindOf(d.u8(t));
            track.sectorSize = d.u16(t + 16);
            const int offset = kind == Kind::Unknown ? -1 : userOffset(kind, track.sectorSize);
            if (offset < 0)
                return fail(which + " has a mode (" + hex(d.u8(t)) + ") and sectors of " +
                            std::to_string(track.sectorSize) +
                            " bytes that this reader does not know.");
            track.audio = kind == Kind::Audio;
            track.dataOffset = static_cast<std::uint32_t>(offset);
            track.mode = kind == Kind::Audio ? std::string("AUDIO")
                                             : (kind == Kind::Mode1 ? "MODE1/" : "MODE2/") +
                                                   std::to_string(track.sectorSize);
            track.startLba = d.u32(t + 36);
            const std::uint64_t startOffset = d.u64(t + 40);
            const std::uint32_t fileCount = d.u32(t + 48);
            const std::uint32_t fileBlockAt = d.u32(t + 52);
            const std::uint32_t extraAt = d.u32(t + 12);

            // The length of the track, and of its pregap. DVD descriptors
            // have no extra block; the field holds the track's length.
            std::uint64_t length = 0;
            std::uint32_t pregap = 0;
            bool lengthKnown = false;
            if (dvd) {
                length = extraAt;
                lengthKnown = extraAt != 0;
            } else {
                if (extraAt == 0 || !d.fits(extraAt, kExtraBytes))
                    return fail(which + " has no length in the MDS file.");
                pregap = d.u32(extraAt);
                length = d.u32(extraAt + 4);
                lengthKnown = true;
            }

            // The file of its sectors: the descriptor's own name with .mdf,
            // or the one its filename block names ("*.mdf": the own name).
            std::string name = stem + ".mdf";
            if (fileCount > 1)
                return fail(which + " lies in " + std::to_string(fileCount) +
                            " files, which this reader does not join.");
            if (fileCount == 1 && fileBlockAt != 0) {
                if (!d.fits(fileBlockAt, kFileBlockBytes) || !d.fits(d.u32(fileBlockAt), 1))
                    return fail("The file name of " + which +
                                " lies beyond the end of the MDS file.");
                std::string named = d.name(d.u32(fileBlockAt), d.u32(fileBlockAt + 4) != 0);
                std::replace(named.begin(), named.end(), '\\', '/');
                if (named.size() > 1 && named[0] == '*' && named[1] == '.')
                    name = stem + named.substr(1);
                else if (!named.empty())
                    name = named;
                if (leavesFolder(name))
                    return fail("The MDF file name \"" + name + "\" of " + which +
                                " leaves its folder.");
            }
            auto found = opened.find(name);
            if (found == opened.end()) {
                int errorNumber = 0;
                std::shared_ptr<ByteSource> file = folder.open(name, &errorNumber);
                if (!file) {
                    error->missingFile = errorNumber == ENOENT || errorNumber == ENOTDIR;
                    return fail(error->missingFile
                                    ? "The MDF file \"" + name + "\" is not there."
                                    : "The MDF file \"" + name + "\" cannot be opened.");
                }
                found = opened.emplace(name, static_cast<std::uint32_t>(disc->files.size())).first;
                disc->files.push_back(std::move(file));
                filledUpTo.push_back(0);
            }
            track.file = found->second;
            const std::uint64_t fileSize = disc->files[track.file]->size();
            if (startOffset >= fileSize)
                return fail(which + " starts beyond the end of \"" + name + "\".");
            const std::uint64_t fits = (fileSize - startOffset) / track.sectorSize;
            if (!lengthKnown)
                length = fits;
            if (length > fits)
                return fail(which + " has " + std::to_string(length) + " sectors, but \"" + name +
                            "\" holds " + std::to_string(fits) + " of them from where it starts.");
            track.fileOffset = startOffset;
            track.sectors = static_cast<std::uint32_t>(length);

            // Writers leave the pregap out of the MDF, or store it just
            // before the track: it is taken as stored when its sectors fit
            // between the track before in the same file and this one, and
            // between the two on the disc.
            std::uint64_t& filled = filledUpTo[track.file];
            const std::uint64_t pregapBytes = std::uint64_t(pregap) * track.sectorSize;
            const Track* before = disc->tracks.empty() ? nullptr : &disc->tracks.back();
            if (pregap > 0 && pregap <= limits::kMaxTrackGap && startOffset >= filled &&
                pregapBytes <= startOffset - filled &&
                (before
                     ? std::uint64_t(before->startLba) + before->sectors + pregap <= track.startLba
                     : pregap <= track.startLba))
                track.storedPregap = pregap;
            filled = std::max(filled, startOffset + length * track.sectorSize);
            disc->tracks.push_back(std::move(track));
        }
    }
    if (disc->tracks.empty())
        return fail("The MDS file describes no tracks.");
    return checkDisc(*disc, error);
}

} // namespace vbe
