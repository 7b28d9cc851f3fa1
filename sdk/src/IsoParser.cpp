#include "IsoParser.h"

#include "IsoFormat.h"
#include "Text.h"
#include "VbeSdk.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <memory>
#include <unordered_set>

namespace vbe {

using namespace iso;

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

namespace {

bool makeTime(int year, int month, int day, int hour, int minute, int second, int offset15,
              std::int64_t* utc)
{
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        offset15 < -48 || offset15 > 52)
        return false;
    std::int64_t t = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    t = t * 86400 + hour * 3600 + minute * 60 + second;
    // The recorded time is local time at the recorded offset from UTC.
    *utc = t - static_cast<std::int64_t>(offset15) * 15 * 60;
    return true;
}

} // namespace

bool decodeShortTime(const std::uint8_t* p, std::int64_t* utc, std::uint32_t* hundredths)
{
    bool allZero = true;
    for (int i = 0; i < 7; ++i)
        allZero = allZero && p[i] == 0;
    if (allZero)
        return false;
    *hundredths = 0;
    return makeTime(1900 + p[0], p[1], p[2], p[3], p[4], p[5], static_cast<std::int8_t>(p[6]), utc);
}

bool decodeLongTime(const std::uint8_t* p, std::int64_t* utc, std::uint32_t* hundredths)
{
    int v[7] = {};
    const int widths[7] = {4, 2, 2, 2, 2, 2, 2};
    int pos = 0;
    for (int f = 0; f < 7; ++f) {
        for (int k = 0; k < widths[f]; ++k, ++pos) {
            if (p[pos] < '0' || p[pos] > '9')
                return false;
            v[f] = v[f] * 10 + (p[pos] - '0');
        }
    }
    if (v[0] == 0)
        return false;
    *hundredths = static_cast<std::uint32_t>(v[6]);
    return makeTime(v[0], v[1], v[2], v[3], v[4], v[5], static_cast<std::int8_t>(p[16]), utc);
}

namespace {

struct VolumeSet
{
    std::uint32_t start = 0; // first block of the session
    std::uint32_t volumeSpace = 0;
    std::array<std::uint8_t, 34> pvdRoot{};
    bool hasJoliet = false;
    std::array<std::uint8_t, 34> jolietRoot{};
    std::u16string pvdLabel;
    std::u16string jolietLabel;
    bool badBlockSize = false;
};

std::u16string trimRight(std::u16string s)
{
    while (!s.empty() && (s.back() == u' ' || s.back() == 0))
        s.pop_back();
    return s;
}

// Reads the descriptor set of the session starting at block start.
bool readVolumeSet(ByteSource& src, std::uint32_t start, VolumeSet* vs)
{
    bool havePrimary = false;
    std::uint8_t vd[kBlockSize];
    for (std::uint32_t i = 0; i < limits::kMaxDescriptors; ++i) {
        std::uint64_t block = std::uint64_t(start) + kFirstDescriptor + i;
        if (!src.readExact(block * kBlockSize, vd, sizeof vd))
            break;
        if (std::memcmp(vd + 1, "CD001", 5) != 0)
            break;
        if (vd[0] == kVdTerminator)
            break;
        if (vd[0] == kVdPrimary && !havePrimary) {
            if (both16(vd + kVdBlockSize) != kBlockSize) {
                vs->badBlockSize = true;
                return false;
            }
            havePrimary = true;
            vs->start = start;
            vs->volumeSpace = both32(vd + kVdVolumeSpaceSize);
            std::memcpy(vs->pvdRoot.data(), vd + kVdRootRecord, 34);
            vs->pvdLabel = trimRight(latin1ToUtf16(vd + kVdVolumeId, 32));
        } else if (vd[0] == kVdSupplementary && !vs->hasJoliet && vd[kVdEscapes] == '%' &&
                   vd[kVdEscapes + 1] == '/' &&
                   (vd[kVdEscapes + 2] == '@' || vd[kVdEscapes + 2] == 'C' ||
                    vd[kVdEscapes + 2] == 'E')) {
            if (both16(vd + kVdBlockSize) != kBlockSize)
                continue;
            vs->hasJoliet = true;
            std::memcpy(vs->jolietRoot.data(), vd + kVdRootRecord, 34);
            vs->jolietLabel = trimRight(utf16beToUtf16(vd + kVdVolumeId, 32));
        }
    }
    return havePrimary;
}

// Looks past the end of the newest known session for a later one, as a
// multi-session image written to a file holds them one after another.
bool findNextSession(ByteSource& src, const VolumeSet& current, VolumeSet* next)
{
    const std::uint64_t blocks = src.size() / kBlockSize;
    // Writers record either the end of the whole volume or the size of the
    // session alone.
    std::uint64_t from = current.volumeSpace > current.start
                             ? current.volumeSpace
                             : std::uint64_t(current.start) + current.volumeSpace;
    if (from <= current.start || from + kFirstDescriptor >= blocks)
        return false;
    std::uint64_t to = std::min(blocks, from + limits::kSessionGapScanBlocks + kFirstDescriptor);
    constexpr std::uint32_t kChunk = 256;
    std::vector<std::uint8_t> buf(std::size_t(kChunk) * kBlockSize);
    for (std::uint64_t b = from + kFirstDescriptor; b < to; b += kChunk) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - b));
        std::int64_t got = src.readAt(b * kBlockSize, buf.data(), n * kBlockSize);
        if (got <= 0)
            return false;
        std::size_t whole = static_cast<std::size_t>(got) / kBlockSize;
        for (std::size_t k = 0; k < whole; ++k) {
            const std::uint8_t* p = buf.data() + k * kBlockSize;
            if (p[0] != kVdPrimary || std::memcmp(p + 1, "CD001", 5) != 0)
                continue;
            std::uint64_t start = b + k - kFirstDescriptor;
            if (start > 0xFFFFFFFFull)
                return false;
            VolumeSet candidate;
            if (!readVolumeSet(src, static_cast<std::uint32_t>(start), &candidate))
                continue;
            // A later session keeps its root folder inside itself.
            std::uint32_t rootBlock = both32(candidate.pvdRoot.data() + kDrExtent);
            if (rootBlock >= start && rootBlock < blocks) {
                *next = std::move(candidate);
                return true;
            }
        }
    }
    return false;
}

// A small cache of single blocks, for continuation areas and relocated folders.
class BlockCache
{
public:
    explicit BlockCache(ByteSource& src) : src_(src) {}
    const std::uint8_t* block(std::uint32_t lba)
    {
        auto it = blocks_.find(lba);
        if (it != blocks_.end())
            return it->second.data();
        if (order_.size() >= 64) {
            blocks_.erase(order_.front());
            order_.pop_front();
        }
        std::array<std::uint8_t, kBlockSize> data;
        if (!src_.readExact(std::uint64_t(lba) * kBlockSize, data.data(), kBlockSize))
            return nullptr;
        order_.push_back(lba);
        return blocks_.emplace(lba, data).first->second.data();
    }

private:
    ByteSource& src_;
    std::map<std::uint32_t, std::array<std::uint8_t, kBlockSize>> blocks_;
    std::deque<std::uint32_t> order_;
};

// What the System Use entries of one directory record say.
struct RockInfo
{
    bool hasName = false;
    std::string name;
    bool hasMode = false;
    std::uint32_t mode = 0;
    std::uint32_t links = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    bool hasSerial = false; // RRIP 1.12 records a file serial number in PX
    std::uint32_t serial = 0;
    bool device = false; // PN
    bool isLink = false;
    std::string link;
    bool linkNeedsSeparator = false;
    bool hasTime = false;
    std::int64_t mtime = 0;
    std::uint32_t hundredths = 0;
    bool relocated = false;
    bool hasChildLink = false;
    std::uint32_t childLink = 0;
    bool zisofs = false;
    std::uint8_t zfHeaderWords = 0;
    std::uint8_t zfBlockLog2 = 0;
    std::uint32_t zfSize = 0;
    bool hasSp = false;
    std::uint8_t spSkip = 0;
    bool damaged = false;
    const char* damage = nullptr;
    // Where every TF time is kept, by flag bit, when a lookup asks for them.
    Stamp* allTimes = nullptr;

    // The record's entries cannot be trusted: it is left out, for this reason.
    void markDamaged(const char* why)
    {
        damaged = true;
        damage = why;
    }
};

// Where a record's System Use entries go on (a CE entry).
struct Continuation
{
    bool present = false;
    std::uint32_t block = 0, offset = 0, length = 0;
};

struct DirRecord
{
    std::uint64_t position = 0; // of the record in the image
    std::uint32_t extent = 0;
    std::uint32_t length = 0;
    std::uint8_t xattr = 0;
    std::uint8_t flags = 0;
    const std::uint8_t* date = nullptr;
    const std::uint8_t* id = nullptr;
    std::uint8_t idLength = 0;
    const std::uint8_t* su = nullptr;
    std::size_t suLength = 0;
};

void decodeRecord(const std::uint8_t* r, DirRecord* d)
{
    std::uint8_t len = r[kDrLength];
    d->xattr = r[kDrXattrLength];
    d->extent = both32(r + kDrExtent);
    d->length = both32(r + kDrDataLength);
    d->date = r + kDrDate;
    d->flags = r[kDrFlags];
    d->idLength = r[kDrNameLength];
    d->id = r + kDrName;
    std::size_t suStart = kDrName + d->idLength + ((d->idLength & 1) ? 0 : 1);
    d->su = r + std::min<std::size_t>(suStart, len);
    d->suLength = suStart < len ? len - suStart : 0;
}

// After a malformed record: the next offset in the block that holds a
// plausible record (even length that fits, name inside it, both halves of the
// both-endian extent and size fields agreeing), or the block's end.
std::size_t resync(const std::vector<std::uint8_t>& buf, std::size_t from, std::size_t blockEnd)
{
    for (std::size_t p = from; p + kDrMinLength <= blockEnd; p += 2) {
        const std::uint8_t* r = buf.data() + p;
        std::uint8_t len = r[kDrLength];
        if (len < kDrMinLength || (len & 1) || p + len > blockEnd ||
            std::size_t(kDrName) + r[kDrNameLength] > len || r[kDrNameLength] == 0)
            continue;
        if (le32(r + kDrExtent) != be32(r + kDrExtent + 4) ||
            le32(r + kDrDataLength) != be32(r + kDrDataLength + 4))
            continue;
        return p;
    }
    return blockEnd;
}

bool isDotOrDotDot(const DirRecord& d)
{
    return d.idLength == 1 && (d.id[0] == 0 || d.id[0] == 1);
}

// Drops a ";version" suffix.
template <typename S>
void dropVersion(S& name)
{
    auto semi = name.rfind(u';');
    if (semi == S::npos)
        return;
    bool digits = true;
    for (std::size_t i = semi + 1; i < name.size(); ++i)
        digits = digits && name[i] >= u'0' && name[i] <= u'9';
    if (digits)
        name.erase(semi);
}

// A name that can be shown and addressed by a backslash-separated path.
bool usableName(const std::u16string& n)
{
    if (n.empty() || n == u"." || n == u".." || n.size() >= 1024)
        return false;
    for (char16_t c : n)
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\')
            return false;
    return true;
}

bool specialKind(std::uint32_t mode)
{
    const std::uint32_t kind = mode & kUnixTypeMask;
    return kind == kUnixCharDevice || kind == kUnixBlockDevice || kind == kUnixFifo ||
           kind == kUnixSocket;
}

// The identity of a file of a Rock Ridge tree: its names share its data
// extent and, where the writer records one, its serial number (serial
// numbers are told apart up to 2^30). An entry with neither data nor a
// serial number is a file of its own, known by where its record lies.
std::uint64_t isoFileId(const DirRecord& rec, const RockInfo& rr)
{
    const bool data = rec.length > 0;
    if (!data && !rr.hasSerial)
        return kFileIdIsoRecord | rec.position;
    return kFileIdIsoData | std::uint64_t(rr.serial & 0x3FFFFFFF) << 32 | (data ? rec.extent : 0);
}

// What PX, SL and PN record of an entry as a Unix file. Its kind is the one
// the entry is shown as: a folder, a link, a device, pipe or socket (PN
// without a device kind in PX: a character device), else a file.
void setUnixRecord(Entry& e, const DirRecord& rec, const RockInfo& rr)
{
    const bool link = !e.directory && e.content == Content::Inline;
    const bool special = !e.directory && !link && (rr.device || specialKind(rr.mode));
    if (!rr.hasMode && !link && !special)
        return;
    std::uint32_t kind = kUnixRegular;
    if (e.directory)
        kind = kUnixDirectory;
    else if (link)
        kind = kUnixSymlink;
    else if (special)
        kind = specialKind(rr.mode) ? rr.mode & kUnixTypeMask : kUnixCharDevice;
    const std::uint32_t permissions = rr.hasMode ? rr.mode & 07777 : link ? 0777 : 0;
    e.mode = static_cast<std::uint16_t>(kind | permissions);
    e.links = static_cast<std::uint16_t>(std::min<std::uint32_t>(rr.links, 0xFFFF));
    e.uid = rr.uid;
    e.gid = rr.gid;
    if (!e.directory && !link)
        e.fileId = isoFileId(rec, rr);
}

class TreeBuilder
{
public:
    TreeBuilder(ByteSource& src, Flavor flavor, const ScanControl& control, Tree& tree)
        : src_(src), flavor_(flavor), control_(control), tree_(tree), cache_(src)
    {
    }

    // Returns false when the root folder cannot be read (or, for Rock Ridge,
    // does not carry the Rock Ridge mark), or when aborted.
    bool build(const std::uint8_t* rootRecord);
    bool aborted() const { return aborted_; }
    // Looks up one entry by path (lookupIsoRecord); reads only the folders
    // on the way.
    bool lookup(const std::uint8_t* rootRecord, std::vector<LookupStep>& path,
                std::uint64_t dataOffset, IsoRecordFacts* out);
    // Records whose Rock Ridge entries are damaged: each is left out, and
    // costs no more than itself.
    std::uint32_t recordDamage() const { return recordDamage_; }

private:
    struct Pending
    {
        std::uint32_t entry;
        std::uint32_t lba;
        std::uint32_t length;
        std::uint32_t depth;
    };
    struct Group // the parts of one file recorded in several extents
    {
        bool open = false;
        bool dropped = false; // parts that overlap: the file is left out
        std::vector<std::uint8_t> id;
        std::uint32_t entry = 0;
        RangeClaims parts;
    };

    bool readDirectory(const Pending& dir, bool isRoot);
    bool readFolder(std::uint32_t lba, std::uint32_t length, std::vector<std::uint8_t>& buf);
    void dropDuplicateNames();
    void parseSystemUse(const std::uint8_t* su, std::size_t n, RockInfo& info);
    // Reads the area a CE entry names into area; the reason it cannot be
    // used, or nullptr.
    const char* continuationArea(const Continuation& next, std::uint32_t hop,
                                 std::vector<std::pair<std::uint32_t, std::uint32_t>>& seen,
                                 std::vector<std::uint8_t>& area);
    // What became of a record: an entry shown, a record that is no entry of
    // its own (an associated file, a further part, a moved-away folder), or
    // one left out as damaged or beyond a limit.
    enum class Outcome
    {
        Shown,
        NoEntry,
        LeftOut
    };
    Outcome addRecord(const Pending& dir, const DirRecord& rec, const RockInfo& rr, Group& group);
    // Takes the group's first part out of its folder again: the file it
    // starts is not shown.
    void dropGroup(const Pending& dir, Group& group, const char* why);
    bool directoryLength(std::uint32_t lba, std::uint32_t* length);
    void reportProgress();
    bool checkAbort()
    {
        if (control_.abort && control_.abort->load(std::memory_order_relaxed))
            aborted_ = true;
        return aborted_;
    }

    ByteSource& src_;
    Flavor flavor_;
    const ScanControl& control_;
    Tree& tree_;
    BlockCache cache_;
    std::deque<Pending> queue_;
    std::unordered_set<std::uint32_t> visited_;
    std::unordered_set<std::uint32_t> hadRelocated_; // folders holding moved-away entries
    std::uint64_t directoryBytes_ = 0;
    RangeClaims folderData_; // each block is read as folder data once
    RangeClaims areas_;      // and each byte of continuation areas
    std::uint64_t recordBudget_ = 0;
    std::uint32_t recordDamage_ = 0;
    std::uint64_t done_ = 0;
    float progress_ = 0;
    bool aborted_ = false;
    bool exhausted_ = false;
    std::uint8_t spSkip_ = 0;
};

void TreeBuilder::reportProgress()
{
    if (!control_.progress)
        return;
    float p = float(done_) / float(done_ + queue_.size() + 1);
    progress_ = std::max(progress_, std::min(p, 0.99f));
    control_.progress->store(progress_, std::memory_order_relaxed);
}

bool TreeBuilder::directoryLength(std::uint32_t lba, std::uint32_t* length)
{
    const std::uint8_t* b = cache_.block(lba);
    if (!b || b[0] < kDrMinLength)
        return false;
    DirRecord dot;
    decodeRecord(b, &dot);
    if (!isDotOrDotDot(dot) || dot.id[0] != 0 || dot.extent != lba)
        return false;
    *length = dot.length;
    return true;
}

// The System Use entries, one function per kind; d and dl are an entry's
// data after its 4-byte header.

void readName(const std::uint8_t* d, std::size_t dl, RockInfo& info)
{
    if (d[0] & (kNmCurrent | kNmParent))
        return;
    info.hasName = true;
    if (info.name.size() + (dl - 1) > limits::kMaxNameBytes)
        info.markDamaged("name too long");
    else
        info.name.append(reinterpret_cast<const char*>(d + 1), dl - 1);
}

void readMode(const std::uint8_t* d, std::size_t dl, RockInfo& info)
{
    // Mode, links, owner, group, each both-endian; RRIP 1.12 adds the file
    // serial number.
    info.hasMode = true;
    info.mode = both32(d);
    if (dl >= 32) {
        info.links = both32(d + 8);
        info.uid = both32(d + 16);
        info.gid = both32(d + 24);
    }
    if (dl >= 40) {
        info.hasSerial = true;
        info.serial = both32(d + 32);
    }
}

void readLink(const std::uint8_t* d, std::size_t dl, RockInfo& info)
{
    info.isLink = true;
    std::size_t c = 1;
    while (c + 2 <= dl) {
        const std::uint8_t cf = d[c];
        const std::uint8_t cl = d[c + 1];
        if (c + 2 + cl > dl)
            break;
        if (info.link.size() + cl + 4 > limits::kMaxNameBytes * 4) {
            info.markDamaged("link target too long");
            return;
        }
        if (cf & kSlRoot) {
            info.link += '/';
            info.linkNeedsSeparator = false;
        } else {
            if (info.linkNeedsSeparator)
                info.link += '/';
            if (cf & kSlCurrent)
                info.link += '.';
            else if (cf & kSlParent)
                info.link += "..";
            else
                info.link.append(reinterpret_cast<const char*>(d + c + 2), cl);
            info.linkNeedsSeparator = !(cf & kSlContinue);
        }
        c += 2u + cl;
    }
}

void readTimes(const std::uint8_t* d, std::size_t dl, RockInfo& info)
{
    const std::uint8_t flags = d[0];
    const std::size_t stamp = (flags & kTfLongForm) ? 17 : 7;
    std::size_t at = 1;
    for (int bit = 0; bit < 7; ++bit) {
        if (!(flags & (1u << bit)))
            continue;
        if (at + stamp > dl)
            return;
        if (info.allTimes) {
            Stamp& s = info.allTimes[bit];
            std::uint32_t h;
            s.present = stamp == 17 ? decodeLongTime(d + at, &s.utc, &h)
                                    : decodeShortTime(d + at, &s.utc, &h);
        }
        if ((1u << bit) == kTfModify) {
            std::int64_t t;
            std::uint32_t h;
            const bool ok =
                stamp == 17 ? decodeLongTime(d + at, &t, &h) : decodeShortTime(d + at, &t, &h);
            if (ok) {
                info.hasTime = true;
                info.mtime = t;
                info.hundredths = h;
            }
        }
        at += stamp;
    }
}

void readZisofs(const std::uint8_t* d, RockInfo& info)
{
    if (d[0] != 'p' || d[1] != 'z')
        return;
    info.zisofs = true;
    info.zfHeaderWords = d[2];
    info.zfBlockLog2 = d[3];
    info.zfSize = both32(d + 4);
}

// Reads one area of entries into info; false after an ST entry.
bool readEntries(const std::uint8_t* su, std::size_t n, RockInfo& info, Continuation* next)
{
    std::size_t pos = 0;
    while (pos + 4 <= n) {
        const std::uint8_t* e = su + pos;
        const std::uint8_t len = e[2];
        if (len < 4 || pos + len > n)
            break;
        const std::uint8_t* d = e + 4;
        const std::size_t dl = len - 4u;
        const auto sig = [&](const char* s) { return e[0] == s[0] && e[1] == s[1]; };
        if (sig("CE") && dl >= 24)
            *next = {true, both32(d), both32(d + 8), both32(d + 16)};
        else if (sig("SP") && dl >= 3 && d[0] == 0xBE && d[1] == 0xEF) {
            info.hasSp = true;
            info.spSkip = d[2];
        } else if (sig("NM") && dl >= 1)
            readName(d, dl, info);
        else if (sig("PX") && dl >= 8)
            readMode(d, dl, info);
        else if (sig("PN") && dl >= 16)
            info.device = true;
        else if (sig("SL") && dl >= 1)
            readLink(d, dl, info);
        else if (sig("TF") && dl >= 1)
            readTimes(d, dl, info);
        else if (sig("CL") && dl >= 8) {
            info.hasChildLink = true;
            info.childLink = both32(d);
        } else if (sig("RE"))
            info.relocated = true;
        else if (sig("ZF") && dl >= 12)
            readZisofs(d, info);
        else if (sig("ST"))
            return false;
        pos += len;
    }
    return true;
}

void TreeBuilder::parseSystemUse(const std::uint8_t* su, std::size_t n, RockInfo& info)
{
    std::vector<std::uint8_t> area;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;
    for (std::uint32_t hop = 0;; ++hop) {
        Continuation next;
        if (!readEntries(su, n, info, &next) || !next.present)
            return;
        if (const char* why = continuationArea(next, hop, seen, area)) {
            info.markDamaged(why);
            return;
        }
        su = area.data();
        n = area.size();
    }
}

const char*
TreeBuilder::continuationArea(const Continuation& next, std::uint32_t hop,
                              std::vector<std::pair<std::uint32_t, std::uint32_t>>& seen,
                              std::vector<std::uint8_t>& area)
{
    if (hop + 1 >= limits::kMaxContinuations || next.offset >= kBlockSize ||
        next.length > kBlockSize * 4 || next.length == 0)
        return "bad continuation area";
    const auto key = std::make_pair(next.block, next.offset);
    if (std::find(seen.begin(), seen.end(), key) != seen.end())
        return "continuation areas form a loop";
    seen.push_back(key);
    // Each continuation area belongs to one record.
    const std::uint64_t at = std::uint64_t(next.block) * kBlockSize + next.offset;
    if (!areas_.claim(at, next.length))
        return "continuation area shared with another record";
    ++tree_.structuresRead;
    area.resize(next.length);
    if (next.offset + next.length <= kBlockSize) {
        const std::uint8_t* b = cache_.block(next.block);
        if (!b)
            return "continuation area beyond the end";
        std::memcpy(area.data(), b + next.offset, next.length);
    } else if (!src_.readExact(at, area.data(), next.length)) {
        return "continuation area beyond the end";
    }
    return nullptr;
}

bool TreeBuilder::build(const std::uint8_t* rootRecord)
{
    if (rootRecord[kDrLength] < kDrMinLength)
        return false;
    DirRecord root;
    decodeRecord(rootRecord, &root);
    tree_.entries.clear();
    // Room for the entries the caller expects, else for about one per block
    // of the image: reserved, not touched, so a tree that stays small costs
    // nothing, and one that fills it is not copied while it grows.
    const std::uint64_t expected =
        control_.expectedEntries ? control_.expectedEntries : src_.size() / kBlockSize;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(expected, limits::kMaxEntries));
    tree_.reserve(n);
    tree_.entries.emplace_back();
    Entry& r = tree_.entries.back();
    r.directory = true;
    std::int64_t t;
    std::uint32_t h;
    if (decodeShortTime(root.date, &t, &h)) {
        r.hasTime = true;
        r.mtime = t;
    }
    visited_.insert(root.extent);
    recordBudget_ = limits::kRecordsBase + limits::kRecordsPerBlock * (src_.size() / kBlockSize);
    Pending first{0, root.extent, root.length, 0};
    if (!readDirectory(first, true))
        return false;
    while (!queue_.empty() && !exhausted_) {
        if (checkAbort())
            return false;
        Pending next = queue_.front();
        queue_.pop_front();
        readDirectory(next, false);
        ++done_;
        reportProgress();
        if (aborted_)
            return false;
    }
    dropDuplicateNames();
    // A relocation folder left empty once its moved entries are shown at
    // their original places is the writer's bookkeeping, not the user's.
    if (flavor_ == Flavor::RockRidge) {
        tree_.dropChildren(0, [&](std::uint32_t i) {
            const std::u16string_view name = tree_.name(i);
            return tree_.entries[i].directory && tree_.children(i).empty() &&
                   hadRelocated_.count(i) && (name == u"rr_moved" || name == u".rr_moved");
        });
    }
    return true;
}

// Two entries of one folder with the same name cannot both be reached by
// path; the first one recorded stays.
void TreeBuilder::dropDuplicateNames()
{
    vbe::dropDuplicateNames(tree_);
}

bool TreeBuilder::readDirectory(const Pending& dir, bool isRoot)
{
    std::uint64_t offset = std::uint64_t(dir.lba) * kBlockSize;
    std::uint64_t length = dir.length;
    if (length > limits::kMaxDirectoryBytes) {
        tree_.note("folder larger than the cap; read up to the cap");
        length = limits::kMaxDirectoryBytes;
    }
    // Never more than the image holds.
    const std::uint64_t available = offset < src_.size() ? src_.size() - offset : 0;
    if (length > available) {
        tree_.note("folder cut short by the end of the image");
        length = available;
    }
    // Each block is read as folder data once: what an earlier folder read
    // is damage here, left out.
    const std::uint64_t fresh = folderData_.freeFrom(offset, length);
    if (fresh < length) {
        tree_.note("folder data that overlaps another folder's is left out");
        length = fresh / kBlockSize * kBlockSize;
    }
    // Read and parsed a chunk at a time, so that a folder of 100,000 files
    // is never held whole (the scan's thread would keep the pages). A block
    // after the first that starts with a "." record is another folder's
    // start, and this one ends before it.
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> buf;
    std::uint64_t done = 0; // bytes of the folder read and parsed
    Group group;
    std::uint32_t records = 0;
    bool sawDot = false;
    bool last = false;
    while (done < length && !last) {
        if (directoryBytes_ >= limits::kMaxTotalDirectoryBytes) {
            tree_.note("too much folder data; the rest is left out");
            break;
        }
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
        buf.resize(n);
        const std::int64_t got = src_.readAt(offset + done, buf.data(), n);
        directoryBytes_ += n;
        if (got < static_cast<std::int64_t>(n)) {
            tree_.note("folder cut short by the end of the image");
            buf.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
            last = true;
        }
        for (std::size_t b = done == 0 ? kBlockSize : 0; b + kDrMinLength <= buf.size();
             b += kBlockSize) {
            if (buf[b] >= kDrMinLength && buf[b + kDrNameLength] == 1 && buf[b + kDrName] == 0) {
                tree_.note("folder runs into another folder; cut there");
                buf.resize(b);
                last = true;
                break;
            }
        }
        folderData_.claim(offset + done, buf.size());
        const std::uint64_t base = offset + done;
        done += buf.size();
        if (buf.empty())
            break;

        std::size_t pos = 0;
        while (pos < buf.size()) {
            std::size_t blockEnd = std::min(buf.size(), (pos / kBlockSize + 1) * kBlockSize);
            std::uint8_t len = buf[pos];
            if (len == 0) {
                pos = blockEnd;
                continue;
            }
            if (len < kDrMinLength || pos + len > blockEnd ||
                std::size_t(kDrName) + buf[pos + kDrNameLength] > len) {
                tree_.note("malformed folder record");
                pos = resync(buf, pos + 2, blockEnd);
                continue;
            }
            if ((++records & 1023) == 0 && checkAbort())
                return false;
            if (++tree_.recordsSeen > recordBudget_) {
                if (!exhausted_)
                    tree_.note(
                        "more records than an image of this size holds; the rest are left out");
                exhausted_ = true;
                return true;
            }
            DirRecord rec;
            decodeRecord(buf.data() + pos, &rec);
            rec.position = base + pos;
            pos += len;

            // The System Use entries of "." and ".." say nothing shown, except
            // for the root's "." that marks Rock Ridge.
            RockInfo rr;
            const bool dot = isDotOrDotDot(rec);
            if (flavor_ == Flavor::RockRidge && (!dot || (isRoot && !sawDot))) {
                const std::uint8_t* su = rec.su;
                std::size_t suLength = rec.suLength;
                if (!(isRoot && !sawDot)) {
                    std::size_t skip = std::min<std::size_t>(spSkip_, suLength);
                    su += skip;
                    suLength -= skip;
                }
                parseSystemUse(su, suLength, rr);
            }
            if (isDotOrDotDot(rec)) {
                if (isRoot && !sawDot && rec.id[0] == 0) {
                    sawDot = true;
                    if (flavor_ == Flavor::RockRidge) {
                        if (!rr.hasSp)
                            return false; // no Rock Ridge here
                        spSkip_ = rr.spSkip;
                    }
                }
                continue;
            }
            if (isRoot && !sawDot && flavor_ == Flavor::RockRidge)
                return false;
            sawDot = true;
            if (tree_.entries.size() >= limits::kMaxEntries) {
                tree_.note("too many entries; the rest are left out");
                return true;
            }
            addRecord(dir, rec, rr, group);
        }
    }
    if (isRoot && done == 0)
        return false;
    if (group.open && !group.dropped)
        dropGroup(dir, group, "file in several extents missing its last part");
    return true;
}

bool TreeBuilder::readFolder(std::uint32_t lba, std::uint32_t length,
                             std::vector<std::uint8_t>& buf)
{
    const std::uint64_t offset = std::uint64_t(lba) * kBlockSize;
    const std::uint64_t available = offset < src_.size() ? src_.size() - offset : 0;
    const std::uint64_t n =
        std::min<std::uint64_t>({length, limits::kMaxDirectoryBytes, available});
    if (n == 0 || directoryBytes_ + n > limits::kMaxTotalDirectoryBytes)
        return false;
    directoryBytes_ += n;
    buf.resize(static_cast<std::size_t>(n));
    return src_.readExact(offset, buf.data(), buf.size());
}

bool TreeBuilder::lookup(const std::uint8_t* rootRecord, std::vector<LookupStep>& path,
                         std::uint64_t dataOffset, IsoRecordFacts* out)
{
    if (rootRecord[kDrLength] < kDrMinLength)
        return false;
    const bool joliet = flavor_ == Flavor::Joliet;
    recordBudget_ = limits::kRecordsBase + limits::kRecordsPerBlock * (src_.size() / kBlockSize);
    DirRecord root;
    decodeRecord(rootRecord, &root);
    std::vector<std::uint8_t> buf;
    if (!readFolder(root.extent, root.length, buf) || buf[kDrLength] < kDrMinLength ||
        std::size_t(kDrName) + buf[kDrNameLength] > buf[kDrLength])
        return false;
    auto fill = [&](const DirRecord& rec, const RockInfo& rr, const Stamp* times,
                    IsoRecordFacts& f) {
        f.name = joliet                         ? utf16beToUtf16(rec.id, rec.idLength)
                 : isUtf8(rec.id, rec.idLength) ? utf8ToUtf16(rec.id, rec.idLength)
                                                : latin1ToUtf16(rec.id, rec.idLength);
        f.rockName = rr.hasName ? utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(rr.name.data()),
                                              rr.name.size())
                                : std::u16string();
        f.flags = rec.flags;
        f.extents.clear();
        if (rec.length > 0)
            f.extents.push_back({(std::uint64_t(rec.extent) + rec.xattr) * kBlockSize, rec.length});
        std::uint32_t h;
        f.recorded.present = decodeShortTime(rec.date, &f.recorded.utc, &h);
        std::copy(times, times + 7, f.rockTimes);
    };
    // The root's "." record: the Rock Ridge mark, and the root's own times.
    bool rock = false;
    {
        DirRecord dot;
        decodeRecord(buf.data(), &dot);
        RockInfo rr;
        Stamp times[7];
        if (!joliet) {
            rr.allTimes = times;
            parseSystemUse(dot.su, dot.suLength, rr);
            rock = rr.hasSp;
            spSkip_ = rr.spSkip;
        }
        out->rockRidge = rock;
        if (path.empty()) {
            fill(dot, rr, times, *out);
            out->name.clear();
            out->rockName.clear();
            return true;
        }
    }
    for (std::size_t step = 0; step < path.size(); ++step) {
        const LookupStep& want = path[step];
        const bool last = step + 1 == path.size();
        // The record found: by the start of its data (2), else by name (1).
        IsoRecordFacts found;
        std::u16string foundName;
        int rank = 0;
        std::uint32_t childLba = 0, childLength = 0;
        bool partsOpen = false; // the record found goes on in further parts
        std::vector<std::uint8_t> partsId;
        std::size_t pos = 0;
        while (pos < buf.size()) {
            const std::size_t blockEnd = std::min(buf.size(), (pos / kBlockSize + 1) * kBlockSize);
            const std::uint8_t len = buf[pos];
            if (len == 0) {
                pos = blockEnd;
                continue;
            }
            if (len < kDrMinLength || pos + len > blockEnd ||
                std::size_t(kDrName) + buf[pos + kDrNameLength] > len) {
                pos = resync(buf, pos + 2, blockEnd);
                continue;
            }
            if (++tree_.recordsSeen > recordBudget_ || checkAbort())
                return false;
            DirRecord rec;
            decodeRecord(buf.data() + pos, &rec);
            pos += len;
            if (isDotOrDotDot(rec) || (rec.flags & kFlagAssociated))
                continue;
            const bool part = partsOpen && rec.idLength == partsId.size() &&
                              std::equal(partsId.begin(), partsId.end(), rec.id);
            partsOpen = false;
            if (part) {
                if (rec.length > 0 && found.extents.size() < limits::kMaxEntries)
                    found.extents.push_back(
                        {(std::uint64_t(rec.extent) + rec.xattr) * kBlockSize, rec.length});
                partsOpen = (rec.flags & kFlagMultiExtent) != 0;
                continue;
            }
            RockInfo rr;
            Stamp times[7];
            if (rock) {
                rr.allTimes = times;
                const std::size_t skip = std::min<std::size_t>(spSkip_, rec.suLength);
                parseSystemUse(rec.su + skip, rec.suLength - skip, rr);
            }
            if (rr.relocated || rr.damaged)
                continue;
            const bool directory = (rec.flags & kFlagDirectory) || rr.hasChildLink;
            if (directory != want.directory)
                continue;
            std::u16string plain = joliet ? utf16beToUtf16(rec.id, rec.idLength)
                                   : isUtf8(rec.id, rec.idLength)
                                       ? utf8ToUtf16(rec.id, rec.idLength)
                                       : latin1ToUtf16(rec.id, rec.idLength);
            dropVersion(plain);
            if (!joliet && !directory && plain.size() > 1 && plain.back() == u'.')
                plain.pop_back();
            const bool byData = last && !directory && dataOffset != kHoleOffset && rec.length > 0 &&
                                (std::uint64_t(rec.extent) + rec.xattr) * kBlockSize == dataOffset;
            int r = byData ? 2 : 0;
            if (!r && rank == 0) {
                const std::u16string nm =
                    rr.hasName ? utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(rr.name.data()),
                                             rr.name.size())
                               : std::u16string();
                if (namesMatch(plain, want.names) || (!nm.empty() && namesMatch(nm, want.names)))
                    r = 1;
            }
            if (r <= rank)
                continue;
            if (directory) {
                // A folder moved away is read where its child link points.
                childLba = rr.hasChildLink ? rr.childLink : rec.extent;
                childLength = rec.length;
                if (rr.hasChildLink && !directoryLength(childLba, &childLength))
                    continue;
            }
            rank = r;
            fill(rec, rr, times, found);
            foundName = std::move(plain);
            partsOpen = (rec.flags & kFlagMultiExtent) != 0;
            partsId.assign(rec.id, rec.id + rec.idLength);
        }
        if (rank == 0)
            return false;
        path[step].names.push_back(foundName);
        if (!found.rockName.empty())
            path[step].names.push_back(found.rockName);
        if (last) {
            found.rockRidge = rock;
            *out = std::move(found);
            return true;
        }
        if (!readFolder(childLba, childLength, buf))
            return false;
    }
    return false;
}

void TreeBuilder::dropGroup(const Pending& dir, Group& group, const char* why)
{
    tree_.note(why);
    group.dropped = true;
    const auto kids = tree_.children(dir.entry);
    if (!kids.empty() && kids.back() == group.entry)
        tree_.dropLastChild(dir.entry);
}

TreeBuilder::Outcome TreeBuilder::addRecord(const Pending& dir, const DirRecord& rec,
                                            const RockInfo& rr, Group& group)
{
    const bool multi = (rec.flags & kFlagMultiExtent) != 0;
    const bool directory = (rec.flags & kFlagDirectory) != 0 || rr.hasChildLink;
    if (rec.flags & kFlagAssociated)
        return Outcome::NoEntry;

    // Further parts of a file recorded in several extents.
    if (group.open) {
        Entry& e = tree_.entries[group.entry];
        bool same = !directory && rec.idLength == group.id.size() &&
                    std::equal(group.id.begin(), group.id.end(), rec.id);
        if (same) {
            std::uint64_t off = (std::uint64_t(rec.extent) + rec.xattr) * kBlockSize;
            group.open = multi;
            if (group.dropped)
                return Outcome::NoEntry;
            if (!group.parts.claim(off, rec.length)) {
                // Parts of one file that overlap: the file is damaged.
                dropGroup(dir, group, "file in several extents whose parts overlap is left out");
                return Outcome::NoEntry;
            }
            tree_.extents.push_back({off, rec.length});
            ++e.extentCount;
            if (e.content != Content::Zisofs)
                e.size += rec.length;
            return Outcome::NoEntry;
        }
        if (!group.dropped)
            dropGroup(dir, group, "file in several extents missing its last part");
        group.open = false;
    }

    if (rr.relocated) {
        hadRelocated_.insert(dir.entry);
        return Outcome::NoEntry;
    }
    if (rr.damaged) {
        tree_.note(rr.damage ? rr.damage : "damaged Rock Ridge entry");
        ++recordDamage_;
        return Outcome::LeftOut;
    }

    std::u16string name;
    if (flavor_ == Flavor::RockRidge && rr.hasName) {
        name = utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(rr.name.data()), rr.name.size());
    } else if (flavor_ == Flavor::Joliet) {
        name = utf16beToUtf16(rec.id, rec.idLength);
        dropVersion(name);
    } else {
        // ISO 9660:1999 writers record a name's own bytes: UTF-8 on most
        // systems today, a single-byte set on older ones.
        name = isUtf8(rec.id, rec.idLength) ? utf8ToUtf16(rec.id, rec.idLength)
                                            : latin1ToUtf16(rec.id, rec.idLength);
        dropVersion(name);
        if (!directory && name.size() > 1 && name.back() == u'.')
            name.pop_back();
    }
    if (!usableName(name)) {
        tree_.note("entry with an unusable name");
        return Outcome::LeftOut;
    }

    Entry e;
    e.parent = dir.entry;
    e.directory = directory;
    e.hidden = (rec.flags & kFlagHidden) != 0;
    std::int64_t t;
    std::uint32_t h;
    if (rr.hasTime) {
        e.hasTime = true;
        e.mtime = rr.mtime;
        e.hundredths = rr.hundredths;
    } else if (decodeShortTime(rec.date, &t, &h)) {
        e.hasTime = true;
        e.mtime = t;
        e.hundredths = h;
    }

    const std::uint32_t index = static_cast<std::uint32_t>(tree_.entries.size());
    if (directory) {
        if (multi) {
            tree_.note("folder recorded in several extents");
            return Outcome::LeftOut;
        }
        std::uint32_t lba = rec.extent;
        std::uint32_t length = rec.length;
        if (rr.hasChildLink) {
            lba = rr.childLink;
            if (!directoryLength(lba, &length)) {
                tree_.note("relocated folder not found");
                return Outcome::LeftOut;
            }
        }
        if (dir.depth + 1 > limits::kMaxDepth) {
            tree_.note("folders nested too deep; the deeper ones are left out");
            return Outcome::LeftOut;
        }
        if (!visited_.insert(lba).second) {
            tree_.note("folder that contains itself or is recorded twice");
            return Outcome::LeftOut;
        }
        queue_.push_back({index, lba, length, dir.depth + 1});
    } else {
        const bool link = flavor_ == Flavor::RockRidge &&
                          (rr.isLink || (rr.hasMode && (rr.mode & kModeTypeMask) == kModeSymlink));
        const bool special = flavor_ == Flavor::RockRidge && !link &&
                             (rr.device || (rr.hasMode && specialKind(rr.mode)));
        if (link) {
            tree_.setInlineData(e, rr.link);
            e.size = rr.link.size();
        } else if (special) {
            // Devices, pipes and sockets hold no data, whatever extent their
            // record names.
            e.size = 0;
        } else {
            std::uint64_t off = (std::uint64_t(rec.extent) + rec.xattr) * kBlockSize;
            e.firstExtent = static_cast<std::uint32_t>(tree_.extents.size());
            e.extentCount = 1;
            tree_.extents.push_back({off, rec.length});
            e.size = rec.length;
            if (flavor_ == Flavor::RockRidge && rr.zisofs) {
                if (rr.zfHeaderWords >= 4 && rr.zfBlockLog2 >= 15 && rr.zfBlockLog2 <= 17) {
                    e.content = Content::Zisofs;
                    e.size = rr.zfSize;
                    e.zisofsBlockLog2 = rr.zfBlockLog2;
                    e.zisofsHeaderWords = rr.zfHeaderWords;
                } else {
                    tree_.note("compressed file with unknown parameters; shown as stored");
                }
            }
            if (multi) {
                group.open = true;
                group.dropped = false;
                group.id.assign(rec.id, rec.id + rec.idLength);
                group.entry = index;
                group.parts = RangeClaims();
                group.parts.claim(off, rec.length);
            }
        }
    }
    if (flavor_ == Flavor::RockRidge)
        setUnixRecord(e, rec, rr);
    tree_.setName(e, name);
    tree_.entries.push_back(e);
    tree_.addChild(dir.entry, index);
    return Outcome::Shown;
}

} // namespace

void countEntries(Tree& tree)
{
    tree.folders = tree.files = 0;
    std::vector<std::uint32_t> stack{0};
    while (!stack.empty()) {
        std::uint32_t i = stack.back();
        stack.pop_back();
        for (std::uint32_t c : tree.children(i)) {
            if (tree.entries[c].directory) {
                ++tree.folders;
                stack.push_back(c);
            } else {
                ++tree.files;
            }
        }
    }
}

namespace {

// The session a scan reads: the newest the image describes, or else the
// newest found after the first. Ok, or why there is none.
ScanStatus chooseSession(ByteSource& src, const ScanControl& control, VolumeSet& vs,
                         std::vector<std::uint32_t>& sessions)
{
    if (control.sessionStarts && !control.sessionStarts->empty()) {
        // The image says where its sessions start: each is looked at there
        // and nowhere else, and the newest with a volume is read.
        bool found = false;
        bool badBlockSize = false;
        for (std::uint32_t start : *control.sessionStarts) {
            VolumeSet at;
            if (readVolumeSet(src, start, &at)) {
                sessions.push_back(start);
                vs = std::move(at);
                found = true;
            }
            badBlockSize |= at.badBlockSize;
        }
        if (!found)
            return badBlockSize ? ScanStatus::Corrupt : ScanStatus::Unrecognized;
    } else {
        if (!readVolumeSet(src, 0, &vs))
            return vs.badBlockSize ? ScanStatus::Corrupt : ScanStatus::Unrecognized;
        sessions.push_back(0);
        for (std::uint32_t s = 1; s < limits::kMaxSessions; ++s) {
            VolumeSet later;
            if (!findNextSession(src, vs, &later))
                break;
            vs = std::move(later);
            sessions.push_back(vs.start);
        }
    }
    return ScanStatus::Ok;
}

} // namespace

ScanStatus scanIso(ByteSource& src, Tree& tree, const ScanControl& control)
{
    VolumeSet vs;
    std::vector<std::uint32_t> sessions;
    if (const ScanStatus chosen = chooseSession(src, control, vs, sessions);
        chosen != ScanStatus::Ok)
        return chosen;

    struct Candidate
    {
        Flavor flavor;
        const std::uint8_t* root;
    };
    std::vector<Candidate> order;
    order.push_back({Flavor::RockRidge, vs.pvdRoot.data()});
    if (vs.hasJoliet)
        order.push_back({Flavor::Joliet, vs.jolietRoot.data()});
    order.push_back({Flavor::Iso9660, vs.pvdRoot.data()});

    // The first whole, non-empty tree wins; failing that, the fullest one.
    std::unique_ptr<Tree> best;
    for (const Candidate& c : order) {
        auto t = std::make_unique<Tree>();
        t->flavor = c.flavor;
        TreeBuilder builder(src, c.flavor, control, *t);
        bool ok = builder.build(c.root);
        if (builder.aborted())
            return ScanStatus::Aborted;
        if (!ok)
            continue;
        // Damaged Rock Ridge records cost themselves, not the names of the
        // rest of the tree.
        bool good = t->damage == builder.recordDamage() && t->entries.size() > 1;
        if (good) {
            best = std::move(t);
            break;
        }
        if (!best || t->entries.size() > best->entries.size() ||
            (t->entries.size() == best->entries.size() && t->damage < best->damage))
            best = std::move(t);
    }
    if (!best)
        return ScanStatus::Corrupt;
    tree = std::move(*best);
    tree.label = vs.pvdLabel.empty() ? vs.jolietLabel : vs.pvdLabel;
    tree.sessionStart = vs.start;
    tree.sessions = std::move(sessions);
    countEntries(tree);
    if (control.progress)
        control.progress->store(1.0f, std::memory_order_relaxed);
    return ScanStatus::Ok;
}

bool namesMatch(const std::u16string& recorded, const std::vector<std::u16string>& known)
{
    // Case is folded for the letters of Latin-1, Greek and Cyrillic.
    auto fold = [](char16_t c) -> char16_t {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F))
            return static_cast<char16_t>(c + 0x20);
        return c;
    };
    for (const std::u16string& name : known) {
        if (recorded.empty() || recorded.size() > name.size() ||
            (recorded.size() < name.size() && recorded.size() < 64))
            continue;
        if (std::equal(recorded.begin(), recorded.end(), name.begin(),
                       [&](char16_t a, char16_t b) { return fold(a) == fold(b); }))
            return true;
    }
    return false;
}

bool lookupIsoRecord(ByteSource& src, bool joliet, std::vector<LookupStep>& path,
                     std::uint64_t dataOffset, IsoRecordFacts* out, const ScanControl& control)
{
    VolumeSet vs;
    std::vector<std::uint32_t> sessions;
    if (chooseSession(src, control, vs, sessions) != ScanStatus::Ok || (joliet && !vs.hasJoliet))
        return false;
    Tree scratch;
    TreeBuilder builder(src, joliet ? Flavor::Joliet : Flavor::RockRidge, control, scratch);
    return builder.lookup(joliet ? vs.jolietRoot.data() : vs.pvdRoot.data(), path, dataOffset, out);
}

void dropDuplicateNames(Tree& tree)
{
    std::vector<std::uint32_t> sorted;
    std::unordered_set<std::uint32_t> drop;
    for (std::uint32_t d = 0; d < tree.entries.size(); ++d) {
        const auto kids = tree.children(d);
        if (kids.size() < 2)
            continue;
        sorted.assign(kids.begin(), kids.end());
        std::stable_sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
            return tree.name(a) < tree.name(b);
        });
        drop.clear();
        for (std::size_t i = 1; i < sorted.size(); ++i)
            if (tree.name(sorted[i]) == tree.name(sorted[i - 1]))
                drop.insert(sorted[i]);
        if (drop.empty())
            continue;
        // The first name met twice says where the damage lies.
        std::u16string twice;
        for (std::size_t i = 1; i < sorted.size() && twice.empty(); ++i)
            if (drop.count(sorted[i]))
                twice = tree.name(sorted[i]);
        tree.note("\u201c" + utf16ToUtf8(twice) +
                  "\u201d: entries with the same name in one folder; the later ones are left out");
        tree.dropChildren(d, [&](std::uint32_t i) { return drop.count(i) > 0; });
    }
}

} // namespace vbe
