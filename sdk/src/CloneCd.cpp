#include "CloneCd.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace vbe {

namespace {

constexpr std::uint32_t kSector = 2352;
constexpr char kSignature[] = "[clonecd]";
// A TOC has a few entries per session beside its tracks (A0, A1, A2, B0,
// C0 and the like); far more than a disc can have is a crafted file.
constexpr std::uint32_t kMaxEntries = 1024;
constexpr std::uint8_t kLeadOut = 0xA2;
constexpr std::uint8_t kDataControl = 0x04;

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A number as the descriptor writes them: decimal, possibly negative, or
// hexadecimal after "0x"; nothing for anything else or a huge value.
std::optional<std::int64_t> number(const std::string& s)
{
    std::size_t at = 0;
    const bool negative = !s.empty() && s[0] == '-';
    at += negative;
    int base = 10;
    if (s.size() > at + 2 && s[at] == '0' && (s[at + 1] == 'x' || s[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == s.size() || s.size() - at > 9)
        return std::nullopt;
    std::int64_t v = 0;
    for (; at < s.size(); ++at) {
        const int c = std::tolower(static_cast<unsigned char>(s[at]));
        const int digit = std::isdigit(c)                      ? c - '0'
                          : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                               : -1;
        if (digit < 0)
            return std::nullopt;
        v = v * base + digit;
    }
    return negative ? -v : v;
}

// The "N" of a section name "entry N", or nothing.
std::optional<std::int64_t> sectionNumber(const std::string& section, const char* prefix)
{
    const std::size_t n = std::strlen(prefix);
    if (section.compare(0, n, prefix) != 0)
        return std::nullopt;
    return number(trim(section.substr(n)));
}

struct Entry
{
    std::map<std::string, std::int64_t> values;
    std::optional<std::int64_t> get(const char* key) const
    {
        auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    }
};

struct Parsed
{
    std::map<std::string, std::int64_t> disc;
    std::map<std::int64_t, Entry> entries;
    std::map<std::int64_t, Entry> tracks; // [TRACK N]: MODE, INDEX 0, INDEX 1
};

// A track of the TOC and the pregap stored before it.
struct TocTrack
{
    std::uint8_t point;
    std::uint8_t session;
    bool data;
    std::int64_t lba;
    std::int64_t pregap = 0;
};

} // namespace

bool looksLikeCloneCd(ByteSource& file)
{
    char head[64] = {};
    const std::int64_t got = file.readAt(0, head, sizeof head);
    if (got <= 0)
        return false;
    std::size_t at = 0;
    const std::size_t n = static_cast<std::size_t>(got);
    if (n >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0)
        at = 3;
    while (at < n && std::isspace(static_cast<unsigned char>(head[at])))
        ++at;
    const std::size_t k = sizeof kSignature - 1;
    return n - at >= k && lower(std::string(head + at, k)) == kSignature;
}

bool readCloneCd(ByteSource& ccd, const std::string& ccdName, const DiscFolder& folder, Disc* disc,
                 DiscError* error)
{
    auto fail = [&](const std::string& what) {
        error->what = what;
        return false;
    };
    const std::uint64_t size = ccd.size();
    if (size > limits::kMaxDescriptionBytes)
        return fail("The CloneCD descriptor is larger than a descriptor can be.");
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!ccd.readExact(0, text.data(), text.size()))
        return fail("The CloneCD descriptor cannot be read.");

    // The sections and their keys; other sections (CD-Text) are passed over.
    Parsed p;
    std::map<std::string, std::int64_t>* values = nullptr;
    std::size_t sections = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trim(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (++sections > kMaxEntries + limits::kMaxTracks * 2 + 8)
                return fail("The CloneCD descriptor has more sections than a disc needs.");
            const std::size_t close = line.find(']');
            const std::string name =
                lower(trim(line.substr(1, close == std::string::npos ? close : close - 1)));
            values = nullptr;
            if (name == "disc") {
                values = &p.disc;
            } else if (auto n = sectionNumber(name, "entry")) {
                if (*n < 0 || *n >= kMaxEntries)
                    return fail("The CloneCD descriptor has more TOC entries than a disc has.");
                values = &p.entries[*n].values;
            } else if (auto t = sectionNumber(name, "track")) {
                if (*t < 1 || *t > 99)
                    return fail("The CloneCD descriptor describes a track " + std::to_string(*t) +
                                "; tracks are numbered 1 to 99.");
                values = &p.tracks[*t].values;
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!values || eq == std::string::npos)
            continue;
        if (auto v = number(trim(line.substr(eq + 1))))
            (*values)[lower(trim(line.substr(0, eq)))] = *v;
    }

    auto discValue = [&](const char* key) {
        auto it = p.disc.find(key);
        return it == p.disc.end() ? 0 : it->second;
    };
    if (discValue("tocentries") > kMaxEntries || discValue("sessions") > 99)
        return fail("The CloneCD descriptor describes more than a disc holds.");
    if (discValue("datatracksscrambled") != 0)
        return fail("The data tracks of this CloneCD image are stored scrambled, which is not "
                    "read.");

    // The tracks and lead-outs of the TOC: points 1 to 99 and A2 of mode 1
    // Q entries (entries of ADR 5 name other things by the same points).
    std::vector<TocTrack> toc;
    std::map<std::uint8_t, std::int64_t> leadOuts; // by session
    for (const auto& [index, e] : p.entries) {
        const auto point = e.get("point");
        const auto session = e.get("session");
        if (!point || e.get("adr").value_or(1) != 1)
            continue;
        if (*point != kLeadOut && (*point < 1 || *point > 99))
            continue;
        if (!session || *session < 1 || *session > 99)
            return fail("TOC entry " + std::to_string(index) + " lies in no session from 1 to 99.");
        std::optional<std::int64_t> lba = e.get("plba");
        if (!lba) {
            const auto m = e.get("pmin"), s = e.get("psec"), f = e.get("pframe");
            if (!m || !s || !f)
                return fail("TOC entry " + std::to_string(index) + " has no address.");
            lba = (*m * 60 + *s) * 75 + *f - 150;
        }
        if (*lba < 0 || *lba > 0x7FFFFFFF)
            return fail("TOC entry " + std::to_string(index) + " has an address before the disc.");
        const auto s = static_cast<std::uint8_t>(*session);
        if (*point == kLeadOut) {
            leadOuts[s] = *lba;
            continue;
        }
        if (toc.size() == limits::kMaxTracks)
            return fail("The CloneCD descriptor describes more than 99 tracks.");
        toc.push_back({static_cast<std::uint8_t>(*point), s,
                       (e.get("control").value_or(0) & kDataControl) != 0, *lba});
    }
    if (toc.empty())
        return fail("The CloneCD descriptor describes no tracks.");
    auto leadOut = [&](std::uint8_t session) -> std::optional<std::int64_t> {
        auto it = leadOuts.find(session);
        return it == leadOuts.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    };
    std::sort(toc.begin(), toc.end(), [](const TocTrack& a, const TocTrack& b) {
        return a.session != b.session ? a.session < b.session : a.lba < b.lba;
    });

    // Pregaps from the [TRACK N] sections: INDEX 0 to INDEX 1. Their
    // addresses count from the start of the session; a session's first
    // track without INDEX 0 starts its pregap there.
    for (std::size_t i = 0; i < toc.size(); ++i) {
        TocTrack& t = toc[i];
        const bool first = i == 0 || toc[i - 1].session != t.session;
        auto it = p.tracks.find(t.point);
        if (it == p.tracks.end())
            continue;
        const auto i1 = it->second.get("index 1");
        const auto i0 = it->second.get("index 0");
        if (!i1)
            continue;
        if (i0)
            t.pregap = *i1 - *i0;
        else if (first && *i1 != t.lba)
            t.pregap = *i1;
        const std::int64_t floor = !first   ? toc[i - 1].lba + 1
                                   : i == 0 ? 0
                                            : leadOut(toc[i - 1].session).value_or(0);
        if (t.pregap < 0 || t.lba - t.pregap < floor)
            return fail("The pregap of track " + std::to_string(t.point) +
                        " reaches before the place it can start.");
    }

    const std::size_t dot = ccdName.rfind('.');
    const std::string imgName =
        (dot == std::string::npos || dot == 0 ? ccdName : ccdName.substr(0, dot)) + ".img";
    int errorNumber = 0;
    std::shared_ptr<ByteSource> img = folder.open(imgName, &errorNumber);
    if (!img) {
        error->missingFile = errorNumber == ENOENT || errorNumber == ENOTDIR;
        return fail(error->missingFile ? "The image file \"" + imgName + "\" is not there."
                                       : "The image file \"" + imgName + "\" cannot be opened.");
    }
    const std::uint64_t imgSize = img->size();
    disc->container = "ccd";
    disc->files.push_back(img);

    // The .img holds each session's sectors, from its first track's pregap
    // to its lead-out, one session after the other.
    std::uint64_t sessionFileStart = 0;
    std::int64_t sessionBase = 0;
    for (std::size_t i = 0; i < toc.size(); ++i) {
        const TocTrack& t = toc[i];
        const std::string which = "Track " + std::to_string(t.point);
        const bool first = i == 0 || toc[i - 1].session != t.session;
        const bool last = i + 1 == toc.size() || toc[i + 1].session != t.session;
        if (first) {
            if (i > 0)
                sessionFileStart +=
                    std::uint64_t(*leadOut(toc[i - 1].session) - sessionBase) * kSector;
            sessionBase = t.lba - t.pregap;
        }
        std::int64_t end;
        if (last) {
            const auto lo = leadOut(t.session);
            if (!lo)
                return fail("Session " + std::to_string(t.session) +
                            " has no lead-out in the TOC.");
            end = *lo;
        } else {
            end = toc[i + 1].lba - toc[i + 1].pregap;
        }
        if (end < t.lba)
            return fail(which + " ends before it starts.");
        Track track;
        track.number = t.point;
        track.session = t.session;
        track.audio = !t.data;
        track.sectorSize = kSector;
        track.startLba = static_cast<std::uint32_t>(t.lba);
        track.sectors = static_cast<std::uint32_t>(std::min<std::int64_t>(end - t.lba, 0xFFFFFFFF));
        track.storedPregap = static_cast<std::uint32_t>(t.pregap);
        track.fileOffset = sessionFileStart + std::uint64_t(t.lba - sessionBase) * kSector;
        if (track.fileOffset >= imgSize)
            return fail(which + " starts beyond the end of \"" + imgName + "\".");
        if (std::uint64_t(track.sectors) * kSector > imgSize - track.fileOffset)
            return fail(which + " reaches beyond the end of \"" + imgName + "\".");
        track.mode = "AUDIO";
        if (t.data) {
            // The mode from the first sector's header, else from [TRACK N].
            std::uint8_t header[16] = {};
            std::int64_t mode = 0;
            static const std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
            if (img->readExact(track.fileOffset, header, sizeof header) &&
                std::memcmp(header, kSync, sizeof kSync) == 0)
                mode = header[15];
            if (mode != 1 && mode != 2) {
                auto it = p.tracks.find(t.point);
                mode = it == p.tracks.end() ? 1 : it->second.get("mode").value_or(1);
            }
            track.dataOffset = mode == 2 ? 24 : 16;
            track.mode = mode == 2 ? "MODE2/2352" : "MODE1/2352";
        }
        disc->tracks.push_back(std::move(track));
    }
    return checkDisc(*disc, error);
}

} // namespace vbe
