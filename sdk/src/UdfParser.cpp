#include "UdfParser.h"

#include "Text.h"
#include "UdfFormat.h"
#include "VbeSdk.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace vbe {

using namespace udf;

namespace {

// CRC-ITU-T (polynomial 0x1021, initial 0), eight bytes per step: table k
// holds the CRC of a byte followed by k zero bytes. Entries are checked
// whole, up to a block each, so the byte-at-a-time form was a good part of
// the reading of a UDF tree.
constexpr std::array<std::array<std::uint16_t, 256>, 8> kCrcTables = [] {
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int b = 0; b < 8; ++b)
            crc = crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1;
        t[0][i] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i) {
            const std::uint16_t prev = t[k - 1][i];
            t[k][i] = static_cast<std::uint16_t>((prev << 8) ^ t[0][prev >> 8]);
        }
    return t;
}();

std::uint16_t crcItu(const std::uint8_t* p, std::size_t n)
{
    const auto& t = kCrcTables;
    std::uint16_t crc = 0;
    for (; n >= 8; n -= 8, p += 8) {
        crc = t[7][p[0] ^ (crc >> 8)] ^ t[6][p[1] ^ (crc & 0xFF)] ^ t[5][p[2]] ^ t[4][p[3]] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n; --n, ++p)
        crc = static_cast<std::uint16_t>(crc << 8) ^ t[0][((crc >> 8) ^ *p) & 0xFF];
    return crc;
}

// A dstring: the last byte of the field holds the length of the text.
std::u16string dstring(const std::uint8_t* p, std::size_t field)
{
    std::size_t n = p[field - 1];
    if (n == 0 || n >= field)
        return {};
    return decodeCs0(p, n);
}

// Whether a name can be shown and addressed by a path. Separators and
// control characters in it are shown as '_' (the way Linux shows them), so
// that a name is always one component of a path.
bool usableName(std::u16string& n)
{
    if (n.empty() || n == u"." || n == u".." || n.size() >= 1024)
        return false;
    for (char16_t& c : n)
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\')
            c = u'_';
    return true;
}

// A virtual allocation table, shared by every virtual map on the same
// partition: the table's bytes as read, and where its entries lie in them.
struct Vat
{
    std::string data;
    std::size_t begin = 0;
    std::size_t count = 0;
    std::uint32_t at(std::size_t i) const
    {
        return le32(reinterpret_cast<const std::uint8_t*>(data.data()) + begin + 4 * i);
    }
};

struct Map
{
    enum class Kind
    {
        Physical,
        Sparable,
        Virtual,
        Metadata
    };
    Kind kind = Kind::Physical;
    std::uint16_t number = 0;                      // partition number
    std::uint64_t start = 0;                       // first block of the partition in the image
    std::uint64_t length = 0;                      // in blocks
    std::uint32_t packet = 0;                      // sparable: blocks per packet
    std::map<std::uint32_t, std::uint32_t> spared; // packet start -> replacement
    std::shared_ptr<const Vat> vat;                // virtual: virtual block -> physical block
    std::uint16_t underlying = 0;                  // virtual and metadata: the physical map
    std::uint32_t metaFile = 0, mirrorFile = 0;
    struct Run
    {
        std::uint64_t fileOffset, offset, length;
    };
    std::vector<Run> main, mirror; // metadata: file offset -> image offset, in file order
    bool mainGood = false, mirrorGood = false;
};

// One ICB entry as read: the file entry or extended file entry after any
// indirect entries were followed.
struct Icb
{
    LbAddr at;
    std::uint8_t fileType = 0;
    std::uint16_t adForm = 0;
    std::uint16_t flags = 0; // of the ICB tag
    std::uint32_t uid = 0, gid = 0, permissions = 0;
    std::uint16_t links = 0;
    std::uint64_t infoLength = 0;
    bool hasTime = false;
    std::int64_t mtime = 0;
    std::uint32_t hundredths = 0;
    std::vector<std::uint8_t> ads; // the allocation descriptors or embedded data
    std::uint64_t imageOffset = 0; // where the entry sits in the image
};

struct Pending
{
    std::uint32_t entry;
    Icb icb;
    std::uint32_t depth;
};

// What a file entry records of a Unix file, as the Linux driver shows it:
// the read, write and execute bits of owner, group and others (the change
// attribute and delete bits have no Unix counterpart), setuid, setgid and
// sticky from the ICB tag's flags, the link count (none recorded counts as
// one), and the owner and group. An owner or group of 0xFFFFFFFF is not
// recorded: it is kept as 0, as for images that record nothing, where Linux
// shows the uid= and gid= of the mount. Every name of one file reaches the
// same entry: where it lies is the file's identity.
void setUnixRecord(Entry& e, const Icb& icb, std::uint32_t kind)
{
    const std::uint32_t p = icb.permissions;
    std::uint32_t mode = (p & 07) | (p >> 2 & 070) | (p >> 4 & 0700);
    if (icb.flags & kIcbSetuid)
        mode |= 04000;
    if (icb.flags & kIcbSetgid)
        mode |= 02000;
    if (icb.flags & kIcbSticky)
        mode |= 01000;
    e.mode = static_cast<std::uint16_t>(kind | mode);
    e.links = std::max<std::uint16_t>(icb.links, 1);
    e.uid = icb.uid == 0xFFFFFFFFu ? 0 : icb.uid;
    e.gid = icb.gid == 0xFFFFFFFFu ? 0 : icb.gid;
    if (kind != kUnixDirectory && kind != kUnixSymlink)
        e.fileId = kFileIdUdfEntry | std::uint64_t(icb.at.partition) << 32 | icb.at.block;
}

class UdfReader
{
public:
    UdfReader(ByteSource& src, Tree& tree, const ScanControl& control)
        : src_(src), tree_(tree), control_(control)
    {
    }
    ScanStatus scan();
    bool lookup(std::vector<LookupStep>& path, std::uint64_t dataOffset, UdfRecordFacts* out);

private:
    // Reads the descriptors, the partition maps and the root's entry.
    ScanStatus mount(Icb& root);
    // Where a file's data starts in the image, kHoleOffset for none; its
    // extents in extents. False when they cannot be read.
    bool dataStart(const Icb& icb, std::vector<Extent>& extents, std::uint64_t* start);
    bool findAnchor(std::uint8_t* anchor);
    bool readVds(std::uint64_t block, std::uint64_t bytes);
    bool buildMaps();
    bool loadSparingTable(Map& m, const std::uint8_t* map);
    bool loadVat(Map& m);
    bool loadMetadata(Map& m);
    bool translate(std::uint16_t ref, std::uint32_t block, std::uint64_t bytes,
                   std::vector<Extent>& out, bool mirror = false, int depth = 0);
    bool readBlock(LbAddr at, std::uint8_t* dst, bool mirror = false);
    bool readCached(std::uint64_t offset, std::uint8_t* dst, std::size_t n);
    bool readDescriptor(LbAddr at, std::uint16_t ident, std::vector<std::uint8_t>& buf);
    bool readIcb(LbAddr at, Icb& out, std::vector<std::uint64_t>* path = nullptr,
                 std::uint32_t* reached = nullptr);
    bool hasMirror(std::uint16_t partition) const;
    bool readEntryBlock(LbAddr at, std::vector<std::uint8_t>& buf);
    bool parseEntry(const std::vector<std::uint8_t>& buf, LbAddr at, Icb& out);
    bool extentsOf(const Icb& icb, std::vector<Extent>& out, std::uint64_t* covered,
                   bool mirror = false);
    bool contentOf(const Icb& icb, std::uint64_t limit, std::string& out, bool mirror = false,
                   RangeClaims* claims = nullptr);
    bool fileExtents(const Icb& icb, Entry& e);
    bool readDirectory(Pending& dir);
    void addChild(Pending& dir, const std::u16string& name, bool hidden, LbAddr at);
    void dropDuplicateNames();
    bool aborted() const
    {
        return control_.abort && control_.abort->load(std::memory_order_relaxed);
    }
    // The work an image may ask for grows with its size; what is spent past
    // that is left out.
    bool spendBlock() { return ++tree_.structuresRead <= blockBudget_ || exhaust(); }
    bool spendRecords(std::uint64_t n = 1)
    {
        if (tree_.recordsSeen + n > recordBudget_)
            return exhaust();
        tree_.recordsSeen += n;
        return true;
    }
    bool exhaust()
    {
        if (!exhausted_)
            tree_.note("more work than an image of this size needs; the rest is left out");
        exhausted_ = true;
        return false;
    }
    static std::uint64_t key(LbAddr at, bool mirror = false)
    {
        return std::uint64_t(mirror) << 48 | std::uint64_t(at.partition) << 32 | at.block;
    }

    ByteSource& src_;
    Tree& tree_;
    const ScanControl& control_;
    std::uint32_t bs_ = 2048;
    std::uint64_t lastBlock_ = 0;

    // The volume descriptor sequence.
    std::vector<std::uint8_t> lvd_, pvd_;
    std::uint32_t lvdSequence_ = 0, pvdSequence_ = 0;
    std::map<std::uint16_t, std::pair<std::uint32_t, std::vector<std::uint8_t>>> pds_;

    std::vector<Map> maps_;
    // Stretches of the image read lately, each with the read that used it
    // last.
    struct Window
    {
        std::vector<std::uint8_t> bytes;
        std::uint64_t start = 0;
        std::uint64_t used = 0;
    };
    std::array<Window, 4> windows_;
    std::uint64_t reads_ = 0;
    // readIcb's blocks and the entries one chain of it passed.
    std::vector<std::uint8_t> icbBlock_, icbNext_;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> icbSeen_;
    std::unordered_set<std::uint64_t> directories_; // image offsets of folder entries
    std::uint64_t directoryBytes_ = 0;
    std::uint64_t extentTotal_ = 0;
    std::vector<Pending> pending_;
    std::uint64_t blockBudget_ = 0, recordBudget_ = 0;
    bool exhausted_ = false;
    // What each ICB address named by an identifier gave: the entry made from
    // it, or kLeftOut. Every indirect entry on the way is keyed too, so a
    // structure many identifiers name is read once.
    std::unordered_map<std::uint64_t, std::uint32_t> known_;
    static constexpr std::uint32_t kLeftOut = ~0u;
    static constexpr std::uint32_t kNotShown = ~0u - 1;
    // Allocation extent descriptors belong to one file each.
    std::unordered_set<std::uint64_t> usedAeds_;
    // Folder data: each block of the image is read as folder data once.
    RangeClaims folderData_;
    std::map<std::uint16_t, std::shared_ptr<const Vat>> vats_; // by underlying map
};

bool UdfReader::readCached(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    // Entries that follow each other in the image are read together: one read
    // fills a window that the next entries come from. A few windows are kept,
    // as a folder's own entries and the entries of its files usually lie
    // apart and are read in turns.
    constexpr std::size_t kWindow = 64 * 1024;
    ++reads_;
    Window* refill = &windows_[0];
    for (Window& w : windows_) {
        if (offset >= w.start && offset - w.start + n <= w.bytes.size()) {
            std::memcpy(dst, w.bytes.data() + (offset - w.start), n);
            w.used = reads_;
            return true;
        }
        if (w.used < refill->used)
            refill = &w;
    }
    // A read just past a window goes on with its run: that window moves on,
    // and the others stay.
    for (Window& w : windows_) {
        const std::uint64_t end = w.start + w.bytes.size();
        if (!w.bytes.empty() && offset >= end && offset - end < kWindow) {
            refill = &w;
            break;
        }
    }
    refill->bytes.resize(std::max(kWindow, n));
    std::int64_t got = src_.readAt(offset, refill->bytes.data(), refill->bytes.size());
    if (got < static_cast<std::int64_t>(n)) {
        refill->bytes.clear();
        refill->used = 0;
        return false;
    }
    refill->bytes.resize(static_cast<std::size_t>(got));
    refill->start = offset;
    refill->used = reads_;
    std::memcpy(dst, refill->bytes.data(), n);
    return true;
}

bool UdfReader::findAnchor(std::uint8_t* anchor)
{
    const std::uint64_t size = src_.size();
    for (std::uint32_t bs : {2048u, 512u, 1024u, 4096u}) {
        if (size / bs <= kAnchorBlock)
            continue;
        std::uint64_t last = size / bs - 1;
        std::uint64_t places[] = {kAnchorBlock, last, last >= 512 ? last - 256 : 0};
        for (std::uint64_t at : places) {
            if (at < kAnchorBlock || !src_.readExact(at * bs, anchor, 512))
                continue;
            if (udfTagValid(anchor, 512, kTagAnchor, static_cast<std::uint32_t>(at))) {
                bs_ = bs;
                lastBlock_ = last;
                return true;
            }
        }
    }
    return false;
}

bool UdfReader::readVds(std::uint64_t block, std::uint64_t bytes)
{
    std::vector<std::uint8_t> buf(bs_);
    std::uint64_t blocks = std::min<std::uint64_t>(bytes / bs_, limits::kMaxVdsBlocks);
    std::set<std::uint64_t> seen;
    for (std::uint32_t hops = 0; hops < 16; ++hops) {
        if (!seen.insert(block).second)
            break;
        std::uint64_t next = 0, nextBytes = 0;
        for (std::uint64_t i = 0; i < blocks; ++i) {
            std::uint64_t at = block + i;
            if (at > 0xFFFFFFFFu || !src_.readExact(at * bs_, buf.data(), bs_))
                break;
            std::uint16_t ident = le16(buf.data());
            if (!udfTagValid(buf.data(), bs_, ident, static_cast<std::uint32_t>(at)))
                continue;
            if (ident == kTagTerminating)
                break;
            if (ident == kTagPointer) {
                nextBytes = le32(buf.data() + kVdpNext);
                next = le32(buf.data() + kVdpNext + 4);
                break;
            }
            if (ident == kTagPrimaryVolume) {
                std::uint32_t seq = le32(buf.data() + kPvdSequence);
                if (pvd_.empty() || seq >= pvdSequence_)
                    pvd_ = buf, pvdSequence_ = seq;
            } else if (ident == kTagLogicalVolume) {
                std::uint32_t seq = le32(buf.data() + kLvdSequence);
                if (lvd_.empty() || seq >= lvdSequence_)
                    lvd_ = buf, lvdSequence_ = seq;
            } else if (ident == kTagPartition) {
                std::uint32_t seq = le32(buf.data() + kPdSequence);
                std::uint16_t number = le16(buf.data() + kPdNumber);
                auto it = pds_.find(number);
                if (it == pds_.end() || seq >= it->second.first)
                    pds_[number] = {seq, buf};
            }
        }
        if (!nextBytes)
            break;
        block = next;
        blocks = std::min<std::uint64_t>(nextBytes / bs_, limits::kMaxVdsBlocks);
    }
    return !lvd_.empty() && !pds_.empty();
}

bool UdfReader::loadSparingTable(Map& m, const std::uint8_t* map)
{
    std::uint32_t count = map[kMapSpareCount];
    std::uint32_t size = le32(map + kMapSpareSize);
    if (m.packet == 0 || size < kSpareEntries || size > (1u << 20))
        return false;
    std::vector<std::uint8_t> buf(size);
    for (std::uint32_t i = 0; i < count && i < 4; ++i) {
        std::uint32_t at = le32(map + kMapSpareTables + 4 * i);
        if (!src_.readExact(std::uint64_t(at) * bs_, buf.data(), buf.size()))
            continue;
        if (!udfTagValid(buf.data(), buf.size(), kTagSparingTable, at) ||
            !identIs(buf.data() + 17, "*UDF Sparing Table"))
            continue;
        std::uint32_t entries = le16(buf.data() + kSpareCount);
        entries = std::min<std::uint32_t>(entries,
                                          static_cast<std::uint32_t>((size - kSpareEntries) / 8));
        for (std::uint32_t e = 0; e < entries; ++e) {
            const std::uint8_t* p = buf.data() + kSpareEntries + 8 * e;
            std::uint32_t original = le32(p), mapped = le32(p + 4);
            if (original < 0xFFFFFFF0u && original % m.packet == 0)
                m.spared[original] = mapped;
        }
        return true;
    }
    return false;
}

bool UdfReader::loadVat(Map& m)
{
    // Every virtual map on one partition reads the same table.
    if (auto it = vats_.find(m.underlying); it != vats_.end()) {
        m.vat = it->second;
        return m.vat != nullptr;
    }
    auto& shared = vats_[m.underlying];
    // The VAT's file entry is the last thing written: look back from the
    // last recorded block. An image written into a larger file has zeros
    // after it, which a drive would not report as recorded: where the file
    // system reports holes they are skipped at once, and zero blocks before
    // them are passed over backwards in large pieces, as far as the file goes.
    const Map& phys = maps_[m.underlying];
    std::uint64_t last = lastBlock_;
    {
        const std::uint64_t end = src_.dataEnd();
        if (end / bs_ > 0 && (end + bs_ - 1) / bs_ - 1 < last)
            last = (end + bs_ - 1) / bs_ - 1;
        const std::uint64_t pieceBlocks = std::max<std::uint64_t>(1, (1u << 20) / bs_);
        std::vector<std::uint8_t> piece(pieceBlocks * bs_);
        bool found = false;
        std::uint64_t top = last + 1; // blocks below top are still to look at
        while (!found && top > 0) {
            if (aborted())
                return false;
            const std::uint64_t from = top > pieceBlocks ? top - pieceBlocks : 0;
            const std::size_t bytes = static_cast<std::size_t>((top - from) * bs_);
            if (!src_.readExact(from * bs_, piece.data(), bytes))
                break;
            for (std::uint64_t k = top - from; k-- > 0;) {
                const std::uint8_t* b = piece.data() + k * bs_;
                if (b[0] != 0 || std::memcmp(b, b + 1, bs_ - 1) != 0) {
                    last = from + k;
                    found = true;
                    break;
                }
            }
            top = from;
        }
        if (!found)
            last = lastBlock_;
    }
    std::vector<std::uint8_t> buf(bs_);
    for (std::uint64_t back = 0; back < 64 && back <= last; ++back) {
        std::uint64_t at = last - back;
        if (at < phys.start || at - phys.start > 0xFFFFFFFFu)
            break;
        if (!src_.readExact(at * bs_, buf.data(), bs_))
            continue;
        std::uint16_t ident = le16(buf.data());
        if (ident != kTagFileEntry && ident != kTagExtendedFileEntry)
            continue;
        LbAddr self{static_cast<std::uint32_t>(at - phys.start), m.underlying};
        Icb icb;
        if (!udfTagValid(buf.data(), bs_, ident, self.block) || !parseEntry(buf, self, icb))
            continue;
        if (icb.fileType != kFtVat && icb.fileType != kFtUnspecified)
            continue;
        auto vat = std::make_shared<Vat>();
        std::string& data = vat->data;
        if (!contentOf(icb, limits::kMaxVatBytes, data))
            continue;
        const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
        std::size_t begin = 0, end = data.size();
        if (icb.fileType == kFtVat) {
            if (data.size() < 152)
                continue;
            begin = le16(p + kVatHeaderLength);
        } else {
            if (data.size() < kVatTrailer ||
                !identIs(p + data.size() - kVatTrailer + 1, "*UDF Virtual Alloc Tbl"))
                continue;
            end = data.size() - kVatTrailer;
        }
        if (begin > end)
            continue;
        vat->begin = begin;
        vat->count = (end - begin) / 4;
        shared = std::move(vat);
        m.vat = shared;
        return true;
    }
    return false;
}

bool UdfReader::loadMetadata(Map& m)
{
    auto load = [&](std::uint32_t block, std::uint8_t type, std::vector<Map::Run>& runs) {
        Icb icb;
        if (!readIcb({block, m.underlying}, icb) || icb.fileType != type ||
            icb.adForm == kAdEmbedded)
            return false;
        std::vector<Extent> extents;
        std::uint64_t covered = 0;
        if (!extentsOf(icb, extents, &covered))
            return false;
        std::uint64_t pos = 0;
        for (const Extent& e : extents) {
            if (e.offset != kHoleOffset)
                runs.push_back({pos, e.offset, e.length});
            pos += e.length;
        }
        return !runs.empty();
    };
    m.mainGood = load(m.metaFile, kFtMetadata, m.main);
    m.mirrorGood = m.mirrorFile != m.metaFile && load(m.mirrorFile, kFtMetadataMirror, m.mirror);
    if (!m.mainGood && m.mirrorGood) {
        tree_.note("the metadata file is damaged; its mirror is read");
        m.main = m.mirror;
        m.mainGood = true;
    }
    return m.mainGood;
}

bool UdfReader::buildMaps()
{
    const std::uint8_t* l = lvd_.data();
    std::uint32_t bs = le32(l + kLvdBlockSize);
    if (bs != bs_)
        return false;
    std::uint32_t tableLength = le32(l + kLvdMapTableLength);
    std::uint32_t count = le32(l + kLvdMapCount);
    if (tableLength > bs_ - kLvdMaps || count == 0 || count > 64)
        return false;
    struct Deferred
    {
        std::size_t index;
        std::size_t at;
    };
    std::vector<Deferred> later;
    std::size_t pos = kLvdMaps, end = kLvdMaps + tableLength;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (pos + 2 > end)
            return false;
        std::uint8_t type = l[pos], len = l[pos + 1];
        if (len < 6 || pos + len > end)
            return false;
        Map m;
        if (type == kMapPhysical) {
            m.number = le16(l + pos + 4);
        } else if (type == kMapIdentified && len >= 64) {
            const std::uint8_t* ident = l + pos + 4 + 1;
            m.number = le16(l + pos + kMap2Number);
            if (identIs(ident, "*UDF Sparable Partition")) {
                m.kind = Map::Kind::Sparable;
                m.packet = le16(l + pos + kMapSparePacket);
            } else if (identIs(ident, "*UDF Virtual Partition")) {
                m.kind = Map::Kind::Virtual;
            } else if (identIs(ident, "*UDF Metadata Partition")) {
                m.kind = Map::Kind::Metadata;
                m.metaFile = le32(l + pos + kMapMetaFile);
                m.mirrorFile = le32(l + pos + kMapMetaMirror);
            } else {
                return false;
            }
        } else {
            return false;
        }
        auto pd = pds_.find(m.number);
        if (pd == pds_.end())
            return false;
        m.start = le32(pd->second.second.data() + kPdStart);
        m.length = le32(pd->second.second.data() + kPdLength);
        if (m.kind == Map::Kind::Sparable && !loadSparingTable(m, l + pos))
            tree_.note("no readable sparing table");
        if (m.kind == Map::Kind::Virtual || m.kind == Map::Kind::Metadata)
            later.push_back({maps_.size(), pos});
        maps_.push_back(std::move(m));
        pos += len;
    }
    // Virtual and metadata partitions lie on the physical map of the same partition.
    for (const Deferred& d : later) {
        Map& m = maps_[d.index];
        bool found = false;
        for (std::size_t k = 0; k < maps_.size(); ++k) {
            if (maps_[k].number == m.number &&
                (maps_[k].kind == Map::Kind::Physical || maps_[k].kind == Map::Kind::Sparable)) {
                m.underlying = static_cast<std::uint16_t>(k);
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    }
    for (const Deferred& d : later) {
        Map& m = maps_[d.index];
        if (m.kind == Map::Kind::Virtual && !loadVat(m))
            return false;
        if (m.kind == Map::Kind::Metadata && !loadMetadata(m))
            return false;
    }
    return true;
}

bool UdfReader::translate(std::uint16_t ref, std::uint32_t block, std::uint64_t bytes,
                          std::vector<Extent>& out, bool mirror, int depth)
{
    if (ref >= maps_.size() || depth > 2)
        return false;
    const Map& m = maps_[ref];
    // One descriptor can turn into many extents: those are what the caps count.
    bool overflow = false;
    auto push = [&](std::uint64_t offset, std::uint64_t length) {
        if (!out.empty() && out.back().offset != kHoleOffset &&
            out.back().offset + out.back().length == offset)
            out.back().length += length;
        else if (out.size() >= limits::kMaxFileExtents)
            overflow = true;
        else
            out.push_back({offset, length});
    };
    const std::uint64_t blocks = (bytes + bs_ - 1) / bs_;
    switch (m.kind) {
    case Map::Kind::Physical:
        if (std::uint64_t(block) + blocks > m.length)
            return false;
        push((m.start + block) * bs_, bytes);
        return true;
    case Map::Kind::Sparable: {
        if (std::uint64_t(block) + blocks > m.length)
            return false;
        std::uint64_t cur = block, left = bytes;
        std::uint64_t firstPacket = block - block % m.packet;
        auto it = m.spared.lower_bound(static_cast<std::uint32_t>(firstPacket));
        while (left && !overflow) {
            std::uint64_t take = left;
            std::uint64_t offset = (m.start + cur) * bs_;
            if (it != m.spared.end() && it->first <= cur) {
                // cur lies in a spared packet.
                std::uint64_t inPacket = cur - it->first;
                take = std::min<std::uint64_t>(left, (m.packet - inPacket) * bs_);
                offset = (std::uint64_t(it->second) + inPacket) * bs_;
                ++it;
            } else if (it != m.spared.end()) {
                take = std::min<std::uint64_t>(left, (it->first - cur) * bs_);
            }
            push(offset, take);
            left -= take;
            cur += (take + bs_ - 1) / bs_;
        }
        return !overflow;
    }
    case Map::Kind::Virtual: {
        if (!m.vat || std::uint64_t(block) + blocks > m.vat->count || !spendRecords(blocks))
            return false;
        std::uint64_t left = bytes;
        for (std::uint64_t b = block; left; ++b) {
            std::uint64_t take = std::min<std::uint64_t>(left, bs_);
            std::uint32_t to = m.vat->at(b);
            if (to == 0xFFFFFFFFu || !translate(m.underlying, to, take, out, false, depth + 1))
                return false;
            left -= take;
        }
        return true;
    }
    case Map::Kind::Metadata: {
        const auto& runs = mirror && m.mirrorGood ? m.mirror : m.main;
        std::uint64_t pos = std::uint64_t(block) * bs_, left = bytes;
        // The run holding pos: the last one that starts at or before it.
        auto r = std::upper_bound(
            runs.begin(), runs.end(), pos,
            [](std::uint64_t at, const Map::Run& run) { return at < run.fileOffset; });
        if (r == runs.begin())
            return false;
        for (--r; left && r != runs.end() && !overflow; ++r) {
            if (pos < r->fileOffset || pos >= r->fileOffset + r->length)
                return false; // a gap in the metadata file
            std::uint64_t within = pos - r->fileOffset;
            std::uint64_t take = std::min(left, r->length - within);
            push(r->offset + within, take);
            pos += take;
            left -= take;
        }
        return left == 0 && !overflow;
    }
    }
    return false;
}

bool UdfReader::readBlock(LbAddr at, std::uint8_t* dst, bool mirror)
{
    if (!spendBlock())
        return false;
    std::vector<Extent> where;
    if (!translate(at.partition, at.block, bs_, where, mirror) || where.size() != 1)
        return false;
    return readCached(where[0].offset, dst, bs_);
}

bool UdfReader::readDescriptor(LbAddr at, std::uint16_t ident, std::vector<std::uint8_t>& buf)
{
    buf.resize(bs_);
    if (readBlock(at, buf.data()) && udfTagValid(buf.data(), bs_, ident, at.block))
        return true;
    // A damaged descriptor of the metadata partition is read from the mirror.
    if (hasMirror(at.partition) && readBlock(at, buf.data(), true) &&
        udfTagValid(buf.data(), bs_, ident, at.block))
        return true;
    return false;
}

bool UdfReader::hasMirror(std::uint16_t partition) const
{
    return partition < maps_.size() && maps_[partition].kind == Map::Kind::Metadata &&
           maps_[partition].mirrorGood;
}

bool UdfReader::readEntryBlock(LbAddr at, std::vector<std::uint8_t>& buf)
{
    auto sound = [&] {
        std::uint16_t ident = le16(buf.data());
        return (ident == kTagFileEntry || ident == kTagExtendedFileEntry ||
                ident == kTagIndirectEntry) &&
               udfTagValid(buf.data(), bs_, ident, at.block);
    };
    buf.resize(bs_);
    if (readBlock(at, buf.data()) && sound())
        return true;
    // A damaged entry of the metadata partition is read from the mirror.
    if (hasMirror(at.partition) && readBlock(at, buf.data(), true) && sound())
        return true;
    return false;
}

bool UdfReader::parseEntry(const std::vector<std::uint8_t>& buf, LbAddr at, Icb& out)
{
    // The caller checked the descriptor tag.
    const std::uint8_t* p = buf.data();
    std::uint16_t ident = le16(p);
    bool extended = ident == kTagExtendedFileEntry;
    if (!extended && ident != kTagFileEntry)
        return false;
    std::size_t fixed = extended ? kEfeFixed : kFeFixed;
    std::uint32_t eaLength = le32(p + (extended ? kEfeEaLength : kFeEaLength));
    std::uint32_t adLength = le32(p + (extended ? kEfeEaLength : kFeEaLength) + 4);
    if (eaLength > bs_ || adLength > bs_ || fixed + eaLength + adLength > bs_)
        return false;
    out.at = at;
    out.fileType = p[kIcbFileType];
    out.flags = le16(p + kIcbFlags);
    out.adForm = out.flags & 7;
    out.uid = le32(p + kFeUid);
    out.gid = le32(p + kFeGid);
    out.permissions = le32(p + kFePermissions);
    out.links = le16(p + kFeLinkCount);
    out.infoLength = le64(p + kFeInfoLength);
    out.hasTime =
        decodeUdfTime(p + (extended ? kEfeModified : kFeModified), &out.mtime, &out.hundredths);
    out.ads.assign(p + fixed + eaLength, p + fixed + eaLength + adLength);
    return true;
}

bool UdfReader::readIcb(LbAddr at, Icb& out, std::vector<std::uint64_t>* path,
                        std::uint32_t* reached)
{
    // Read for every entry of the tree: the buffers are the reader's own.
    std::vector<std::uint8_t>& buf = icbBlock_;
    std::vector<std::uint8_t>& next = icbNext_;
    next.resize(bs_);
    // A handful of hops at most: a list searched in order.
    std::vector<std::pair<std::uint16_t, std::uint32_t>>& seen = icbSeen_;
    seen.clear();
    auto wasSeen = [&](LbAddr a) {
        return std::find(seen.begin(), seen.end(), std::make_pair(a.partition, a.block)) !=
               seen.end();
    };
    for (std::uint32_t hop = 0; hop < limits::kMaxIcbHops; ++hop) {
        if (wasSeen(at))
            return false; // indirect entries that loop
        seen.emplace_back(at.partition, at.block);
        if (path) {
            // A chain that joins one already followed ends where that one did.
            if (auto it = known_.find(key(at)); it != known_.end() && !path->empty()) {
                *reached = it->second;
                return true;
            }
            path->push_back(key(at));
        }
        if (!readEntryBlock(at, buf))
            return false;
        std::uint16_t ident = le16(buf.data());
        if (ident == kTagIndirectEntry) {
            if (!udfTagValid(buf.data(), bs_, ident, at.block))
                return false;
            at = lbAddr(buf.data() + kIndirectTarget + 4);
            continue;
        }
        if (!parseEntry(buf, at, out))
            return false;
        std::vector<Extent> where;
        translate(at.partition, at.block, bs_, where);
        out.imageOffset = where.empty() ? 0 : where[0].offset;
        // Strategy 4096: a newer entry is reached through an indirect entry
        // in the block after this one.
        if (le16(buf.data() + kIcbStrategy) == 4096 && at.block < 0xFFFFFFFFu) {
            LbAddr after{at.block + 1, at.partition};
            if (readBlock(after, next.data()) && le16(next.data()) == kTagIndirectEntry &&
                udfTagValid(next.data(), bs_, kTagIndirectEntry, after.block)) {
                LbAddr target = lbAddr(next.data() + kIndirectTarget + 4);
                if (le32(next.data() + kIndirectTarget) & 0x3FFFFFFF) {
                    if (!wasSeen(after))
                        seen.emplace_back(after.partition, after.block);
                    if (!wasSeen(target)) {
                        at = target;
                        continue;
                    }
                    tree_.note("indirect entries that loop; the last entry reached is read");
                }
            }
        }
        return true;
    }
    return false;
}

bool UdfReader::extentsOf(const Icb& icb, std::vector<Extent>& out, std::uint64_t* covered,
                          bool mirror)
{
    *covered = 0;
    std::vector<std::uint8_t> area = icb.ads;
    std::vector<std::uint8_t> aed;
    std::set<std::pair<std::uint16_t, std::uint32_t>> seen;
    std::size_t step = icb.adForm == kAdShort      ? 8
                       : icb.adForm == kAdLong     ? 16
                       : icb.adForm == kAdExtended ? 20
                                                   : 0;
    if (!step)
        return false;
    std::uint32_t hops = 0;
    std::size_t pos = 0;
    while (*covered < icb.infoLength) {
        if (pos + step > area.size())
            break;
        const std::uint8_t* p = area.data() + pos;
        std::uint32_t raw = le32(p);
        std::uint32_t type = raw >> 30;
        std::uint64_t length = raw & 0x3FFFFFFF;
        LbAddr where = step == 8    ? LbAddr{le32(p + 4), icb.at.partition}
                       : step == 16 ? lbAddr(p + 4)
                                    : lbAddr(p + 12);
        pos += step;
        if (!spendRecords())
            return false;
        if (length == 0)
            break;
        if (type == kExtContinuation) {
            // The list goes on in an allocation extent descriptor, which
            // belongs to this one file.
            if (++hops > limits::kMaxAdContinuations ||
                !seen.insert({where.partition, where.block}).second ||
                !usedAeds_.insert(key(where, mirror)).second)
                return false;
            if (!readDescriptor(where, kTagAllocationExtent, aed))
                return false;
            std::uint32_t n = le32(aed.data() + kAedLength);
            if (n > bs_ - kAedFixed)
                return false;
            area.assign(aed.begin() + kAedFixed, aed.begin() + kAedFixed + n);
            pos = 0;
            continue;
        }
        length = std::min(length, icb.infoLength - *covered);
        const std::size_t before = out.size();
        if (type == kExtRecorded) {
            if (!translate(where.partition, where.block, length, out, mirror))
                return false;
        } else if (!out.empty() && out.back().offset == kHoleOffset) {
            out.back().length += length;
        } else if (out.size() < limits::kMaxFileExtents) {
            out.push_back({kHoleOffset, length});
        } else {
            return false;
        }
        extentTotal_ += out.size() - before;
        if (extentTotal_ > limits::kMaxTotalExtents)
            return false;
        *covered += length;
    }
    return true;
}

bool UdfReader::contentOf(const Icb& icb, std::uint64_t limit, std::string& out, bool mirror,
                          RangeClaims* claims)
{
    if (icb.infoLength > limit)
        return false;
    if (icb.adForm == kAdEmbedded) {
        if (icb.infoLength > icb.ads.size())
            return false;
        out.assign(icb.ads.begin(), icb.ads.begin() + static_cast<std::ptrdiff_t>(icb.infoLength));
        return true;
    }
    std::vector<Extent> extents;
    std::uint64_t covered = 0;
    if (!extentsOf(icb, extents, &covered, mirror) || covered != icb.infoLength)
        return false;
    // Folders, tables and link targets are recorded data: nothing is allocated
    // for bytes the image cannot hold.
    for (const Extent& e : extents)
        if (e.offset == kHoleOffset || e.offset > src_.size() || e.length > src_.size() - e.offset)
            return false;
    out.clear();
    for (const Extent& e : extents) {
        // Bytes read before as data of this kind are damage: the content
        // ends where they start.
        if (claims && !claims->claim(e.offset, e.length)) {
            tree_.note("folder data that overlaps other folder data is left out");
            return true;
        }
        const std::size_t pos = out.size();
        out.resize(pos + e.length);
        if (!src_.readExact(e.offset, out.data() + pos, e.length))
            return false;
    }
    return true;
}

std::string symlinkTarget(const std::string& data)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
    std::string path;
    std::size_t pos = 0;
    while (pos + 4 <= data.size()) {
        std::uint8_t type = p[pos];
        std::size_t n = p[pos + 1];
        if (pos + 4 + n > data.size())
            break;
        std::string part;
        switch (type) {
        case 1:
        case 2:
            path.assign(1, '/');
            break;
        case 3:
            part = "..";
            break;
        case 4:
            part = ".";
            break;
        case 5:
            part = utf16ToUtf8(decodeCs0(p + pos + 4, n));
            break;
        default:
            break;
        }
        if (!part.empty()) {
            if (!path.empty() && path.back() != '/')
                path += '/';
            path += part;
        }
        pos += 4 + n;
    }
    return path;
}

bool UdfReader::fileExtents(const Icb& icb, Entry& e)
{
    std::vector<Extent> extents;
    std::uint64_t covered = 0;
    if (!extentsOf(icb, extents, &covered)) {
        tree_.note("a file with unreadable allocation descriptors is left out");
        return false;
    }
    for (const Extent& x : extents) {
        if (x.offset != kHoleOffset && x.offset + x.length > src_.size()) {
            tree_.note("a file with data beyond the end of the image is left out");
            return false;
        }
    }
    if (covered < e.size) {
        tree_.note("a file shorter than its recorded size");
        e.size = covered;
    }
    e.firstExtent = static_cast<std::uint32_t>(tree_.extents.size());
    e.extentCount = static_cast<std::uint32_t>(extents.size());
    tree_.extents.insert(tree_.extents.end(), extents.begin(), extents.end());
    return true;
}

void UdfReader::addChild(Pending& dir, const std::u16string& name, bool hidden, LbAddr at)
{
    // An entry named before: files share what was read for the first name
    // (their extents too); a folder is never shown twice.
    std::uint32_t reached = kLeftOut;
    auto share = [&](std::uint32_t from) {
        if (from == kNotShown)
            return;
        if (from == kLeftOut || tree_.entries[from].directory) {
            tree_.note(from == kLeftOut ? "an unreadable file entry is left out"
                                        : "a folder named twice is left out");
            return;
        }
        Entry e = tree_.entries[from];
        tree_.setName(e, name);
        e.parent = dir.entry;
        e.hidden = hidden;
        std::uint32_t index = static_cast<std::uint32_t>(tree_.entries.size());
        tree_.entries.push_back(e);
        tree_.addChild(dir.entry, index);
    };
    if (auto it = known_.find(key(at)); it != known_.end())
        return share(it->second);
    std::vector<std::uint64_t> path;
    Icb icb;
    bool read = readIcb(at, icb, &path, &reached);
    auto remember = [&](std::uint32_t outcome) {
        for (std::uint64_t k : path)
            known_[k] = outcome;
    };
    if (read && reached != kLeftOut) {
        remember(reached);
        return share(reached);
    }
    if (!read) {
        remember(kLeftOut);
        tree_.note("an unreadable file entry is left out");
        return;
    }
    remember(kLeftOut); // until the entry below is made
    Entry e;
    e.parent = dir.entry;
    e.hidden = hidden;
    e.hasTime = icb.hasTime;
    e.mtime = icb.mtime;
    e.hundredths = icb.hundredths;
    switch (icb.fileType) {
    case kFtDirectory:
        if (dir.depth + 1 >= limits::kMaxDepth) {
            tree_.note("folders nested too deep are left out");
            return;
        }
        if (!directories_.insert(icb.imageOffset).second) {
            tree_.note("a folder that contains itself or an ancestor is left out");
            return;
        }
        e.directory = true;
        setUnixRecord(e, icb, kUnixDirectory);
        break;
    case kFtUnspecified:
    case kFtFile:
    case kFtRealTime:
        setUnixRecord(e, icb, kUnixRegular);
        e.size = icb.infoLength;
        if (icb.adForm == kAdEmbedded) {
            std::string data;
            if (!contentOf(icb, icb.ads.size(), data)) {
                tree_.note("embedded data longer than its entry is left out");
                return;
            }
            tree_.setInlineData(e, std::move(data));
        } else if (!fileExtents(icb, e)) {
            return;
        }
        break;
    case kFtSymlink: {
        std::string data;
        if (!contentOf(icb, limits::kMaxSymlinkBytes, data)) {
            tree_.note("an unreadable symbolic link is left out");
            return;
        }
        std::string target = symlinkTarget(data);
        e.size = target.size();
        tree_.setInlineData(e, std::move(target));
        setUnixRecord(e, icb, kUnixSymlink);
        break;
    }
    case kFtBlockDevice:
    case kFtCharDevice:
    case kFtFifo:
    case kFtSocket:
        // Shown as empty entries of their kind; whatever data they name is
        // not theirs.
        setUnixRecord(e, icb,
                      icb.fileType == kFtBlockDevice  ? kUnixBlockDevice
                      : icb.fileType == kFtCharDevice ? kUnixCharDevice
                      : icb.fileType == kFtFifo       ? kUnixFifo
                                                      : kUnixSocket);
        break;
    default:
        remember(kNotShown);
        return; // streams and the file system's own files are not shown
    }
    std::uint32_t index = static_cast<std::uint32_t>(tree_.entries.size());
    for (std::uint64_t k : path)
        known_[k] = index;
    tree_.setName(e, name);
    tree_.entries.push_back(e);
    tree_.addChild(dir.entry, index);
    if (tree_.entries[index].directory)
        pending_.push_back({index, std::move(icb), dir.depth + 1});
}

bool UdfReader::readDirectory(Pending& dir)
{
    std::string data;
    if (dir.icb.infoLength > limits::kMaxDirectoryBytes ||
        directoryBytes_ + dir.icb.infoLength > limits::kMaxTotalDirectoryBytes) {
        tree_.note("a folder too large to read is left empty");
        return false;
    }
    directoryBytes_ += dir.icb.infoLength;
    bool read = contentOf(dir.icb, limits::kMaxDirectoryBytes, data, false, &folderData_);
    auto firstSound = [&] {
        return data.size() >= kFidFixed &&
               udfTagValid(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                           kTagFileIdentifier,
                           le32(reinterpret_cast<const std::uint8_t*>(data.data()) + 12));
    };
    // Folder data in the metadata partition whose main copy is damaged.
    if ((!read || !firstSound()) && hasMirror(dir.icb.at.partition)) {
        std::string copy;
        if (contentOf(dir.icb, limits::kMaxDirectoryBytes, copy, true, &folderData_)) {
            data.swap(copy);
            read = true;
        }
    }
    if (!read) {
        tree_.note("an unreadable folder is left empty");
        return false;
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
    const std::size_t size = data.size();
    std::size_t pos = 0;
    while (pos + kFidFixed <= size) {
        if (aborted() || !spendRecords())
            return false;
        if (tree_.entries.size() >= limits::kMaxEntries) {
            tree_.note("too many entries; the rest are left out");
            return false;
        }
        const std::uint8_t* f = p + pos;
        std::size_t available = size - pos;
        if (le16(f) != kTagFileIdentifier ||
            !udfTagValid(f, available, kTagFileIdentifier, le32(f + 12))) {
            tree_.note("a damaged file identifier; the folder is cut short");
            return false;
        }
        std::size_t nameLength = f[kFidNameLength];
        std::size_t implLength = le16(f + kFidImplLength);
        std::size_t length = (kFidFixed + implLength + nameLength + 3) & ~std::size_t(3);
        if (kFidFixed + implLength + nameLength > available) {
            tree_.note("a file identifier runs past its folder");
            return false;
        }
        std::uint8_t traits = f[kFidCharacteristics];
        pos += std::min(length, available);
        if (traits & (kFcParent | kFcDeleted | kFcMetadata))
            continue;
        std::u16string name = decodeCs0(f + kFidFixed + implLength, nameLength);
        if (!usableName(name)) {
            tree_.note("an entry with an unusable name is left out");
            continue;
        }
        // UDF 1.50 keeps its list of unusable blocks as a hidden file in the
        // root; it is not part of the user's tree.
        if (dir.entry == 0 && (traits & kFcHidden) && name == u"Non-Allocatable Space")
            continue;
        addChild(dir, name, (traits & kFcHidden) != 0, lbAddr(f + kFidIcb + 4));
    }
    return true;
}

void UdfReader::dropDuplicateNames()
{
    vbe::dropDuplicateNames(tree_);
}

ScanStatus UdfReader::mount(Icb& root)
{
    std::vector<std::uint8_t> anchor(512);
    if (!findAnchor(anchor.data()))
        return ScanStatus::Unrecognized;
    const std::uint64_t blocks = src_.size() / bs_;
    blockBudget_ = limits::kBlockReadsBase + limits::kBlockReadsPerBlock * blocks;
    recordBudget_ = limits::kRecordsBase + limits::kRecordsPerBlock * blocks;
    // The main sequence, then its reserve copy when the main one is unusable.
    bool haveVds =
        readVds(le32(anchor.data() + kAnchorMain + 4), le32(anchor.data() + kAnchorMain));
    if (!haveVds || !buildMaps()) {
        lvd_.clear(), pvd_.clear(), pds_.clear(), maps_.clear();
        if (!readVds(le32(anchor.data() + kAnchorReserve + 4),
                     le32(anchor.data() + kAnchorReserve)) ||
            !buildMaps())
            return ScanStatus::Corrupt;
        tree_.note("the main volume descriptor sequence is unusable; the reserve is read");
    }
    if (aborted())
        return ScanStatus::Aborted;

    LbAddr fsdAt = lbAddr(lvd_.data() + kLvdFileSet + 4);
    std::vector<std::uint8_t> fsd;
    if (!readDescriptor(fsdAt, kTagFileSet, fsd))
        return ScanStatus::Corrupt;
    if (!readIcb(lbAddr(fsd.data() + kFsdRoot + 4), root) || root.fileType != kFtDirectory)
        return ScanStatus::Corrupt;
    return ScanStatus::Ok;
}

ScanStatus UdfReader::scan()
{
    Icb root;
    if (const ScanStatus mounted = mount(root); mounted != ScanStatus::Ok)
        return mounted;
    const std::uint64_t blocks = src_.size() / bs_;

    tree_.flavor = Flavor::Udf;
    tree_.label = dstring(lvd_.data() + kLvdVolumeId, 128);
    if (tree_.label.empty() && !pvd_.empty())
        tree_.label = dstring(pvd_.data() + kPvdVolumeId, 32);
    // Each entry has a block of its own but for hard links: the tree gets
    // room for as many entries as there are blocks (reserved, not touched),
    // so that it is not copied while it grows.
    tree_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(blocks, limits::kMaxEntries)));
    Entry top;
    top.directory = true;
    top.hasTime = root.hasTime;
    top.mtime = root.mtime;
    tree_.entries.push_back(std::move(top));
    directories_.insert(root.imageOffset);
    pending_.push_back({0, std::move(root), 0});
    std::size_t done = 0;
    while (!pending_.empty()) {
        if (aborted())
            return ScanStatus::Aborted;
        Pending dir = std::move(pending_.back());
        pending_.pop_back();
        bool whole = readDirectory(dir);
        if (!whole && dir.entry == 0 && tree_.children(0).empty())
            return aborted() ? ScanStatus::Aborted : ScanStatus::Corrupt;
        ++done;
        if (control_.progress)
            control_.progress->store(0.5f * static_cast<float>(done) /
                                         static_cast<float>(done + pending_.size()),
                                     std::memory_order_relaxed);
    }
    if (aborted())
        return ScanStatus::Aborted;
    dropDuplicateNames();
    countEntries(tree_);
    return ScanStatus::Ok;
}

bool UdfReader::dataStart(const Icb& icb, std::vector<Extent>& extents, std::uint64_t* start)
{
    *start = kHoleOffset;
    extents.clear();
    if (icb.adForm == kAdEmbedded)
        return true;
    std::uint64_t covered = 0;
    if (!extentsOf(icb, extents, &covered))
        return false;
    for (const Extent& e : extents)
        if (e.offset != kHoleOffset) {
            *start = e.offset;
            break;
        }
    return true;
}

bool UdfReader::lookup(std::vector<LookupStep>& path, std::uint64_t dataOffset, UdfRecordFacts* out)
{
    Icb cur;
    if (mount(cur) != ScanStatus::Ok)
        return false;
    std::vector<Extent> extents;
    std::uint64_t start = kHoleOffset;
    for (std::size_t step = 0; step < path.size(); ++step) {
        const LookupStep& want = path[step];
        const bool byData = step + 1 == path.size() && !want.directory && dataOffset != kHoleOffset;
        if (cur.infoLength > limits::kMaxDirectoryBytes ||
            directoryBytes_ + cur.infoLength > limits::kMaxTotalDirectoryBytes)
            return false;
        directoryBytes_ += cur.infoLength;
        std::string data;
        if (!contentOf(cur, limits::kMaxDirectoryBytes, data) &&
            !(hasMirror(cur.at.partition) &&
              contentOf(cur, limits::kMaxDirectoryBytes, data, true)))
            return false;
        // The identifiers of the folder's entries of the kind looked for.
        struct Named
        {
            std::u16string name;
            std::uint8_t traits;
            LbAddr at;
        };
        std::vector<Named> named;
        const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
        for (std::size_t pos = 0; pos + kFidFixed <= data.size();) {
            if (aborted() || !spendRecords())
                return false;
            const std::uint8_t* f = p + pos;
            const std::size_t available = data.size() - pos;
            if (!udfTagValid(f, available, kTagFileIdentifier, le32(f + 12)))
                break;
            const std::size_t nameLength = f[kFidNameLength];
            const std::size_t implLength = le16(f + kFidImplLength);
            if (kFidFixed + implLength + nameLength > available)
                break;
            pos += std::min((kFidFixed + implLength + nameLength + 3) & ~std::size_t(3), available);
            const std::uint8_t traits = f[kFidCharacteristics];
            if ((traits & (kFcParent | kFcDeleted | kFcMetadata)) ||
                ((traits & kFcDirectory) != 0) != want.directory)
                continue;
            std::u16string name = decodeCs0(f + kFidFixed + implLength, nameLength);
            if (usableName(name))
                named.push_back({std::move(name), traits, lbAddr(f + kFidIcb + 4)});
        }
        // By name first; a file also by the start of its data, which decides.
        const Named* found = nullptr;
        Icb icb;
        for (const Named& n : named) {
            if (!namesMatch(n.name, want.names) || !readIcb(n.at, icb))
                continue;
            if (!byData || (dataStart(icb, extents, &start) && start == dataOffset)) {
                found = &n;
                break;
            }
        }
        for (std::size_t i = 0; byData && !found && i < named.size(); ++i)
            if (!namesMatch(named[i].name, want.names) && readIcb(named[i].at, icb) &&
                dataStart(icb, extents, &start) && start == dataOffset)
                found = &named[i];
        if (!found || (found->traits & kFcDirectory ? icb.fileType != kFtDirectory
                                                    : icb.fileType == kFtDirectory))
            return false;
        path[step].names.push_back(found->name);
        out->name = found->name;
        out->characteristics = found->traits;
        if (!byData && !want.directory && !dataStart(icb, extents, &start))
            extents.clear();
        cur = std::move(icb);
    }
    out->embedded = cur.adForm == kAdEmbedded;
    out->extents = cur.fileType == kFtDirectory ? std::vector<Extent>() : std::move(extents);
    // The times, from the entry itself.
    std::vector<std::uint8_t> entry;
    if (!readEntryBlock(cur.at, entry))
        return true;
    const std::uint8_t* e = entry.data();
    std::uint32_t h;
    auto stamp = [&](std::size_t at, Stamp& s) { s.present = decodeUdfTime(e + at, &s.utc, &h); };
    if (le16(e) == kTagExtendedFileEntry) {
        stamp(kEfeAccessed, out->accessed);
        stamp(kEfeModified, out->modified);
        stamp(kEfeCreated, out->created);
        stamp(kEfeAttributes, out->attributes);
    } else if (le16(e) == kTagFileEntry) {
        stamp(kFeAccessed, out->accessed);
        stamp(kFeModified, out->modified);
        stamp(kFeAttributes, out->attributes);
    }
    return true;
}

} // namespace

std::u16string decodeCs0(const std::uint8_t* p, std::size_t n)
{
    if (n == 0)
        return {};
    switch (p[0]) {
    case 8:
    case 254:
        return latin1ToUtf16(p + 1, n - 1);
    case 16:
    case 255:
        return utf16beToUtf16(p + 1, n - 1);
    default:
        return {};
    }
}

bool decodeUdfTime(const std::uint8_t* p, std::int64_t* utc, std::uint32_t* hundredths)
{
    std::uint16_t typeZone = le16(p);
    int zone = typeZone & 0xFFF;
    if (zone & 0x800)
        zone -= 0x1000;
    if (zone == -2047 || zone < -1440 || zone > 1440)
        zone = 0; // not recorded: taken as UTC
    int year = static_cast<std::int16_t>(le16(p + 2));
    int month = p[4], day = p[5], hour = p[6], minute = p[7], second = p[8];
    if (year == 0 && month == 0 && day == 0)
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    std::int64_t t = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    *utc = t * 86400 + hour * 3600 + minute * 60 + second - std::int64_t(zone) * 60;
    *hundredths = p[9] < 100 ? p[9] : 0;
    return true;
}

bool udfTagValid(const std::uint8_t* p, std::size_t available, std::uint16_t ident,
                 std::uint32_t location)
{
    if (available < kTagSize || le16(p) != ident)
        return false;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < kTagSize; ++i)
        if (i != 4)
            sum = static_cast<std::uint8_t>(sum + p[i]);
    if (sum != p[4] || le32(p + 12) != location)
        return false;
    std::size_t crcLength = le16(p + 10);
    if (kTagSize + crcLength <= available && crcItu(p + kTagSize, crcLength) != le16(p + 8))
        return false;
    return true;
}

ScanStatus scanUdf(ByteSource& logical, Tree& tree, const ScanControl& control)
{
    UdfReader reader(logical, tree, control);
    return reader.scan();
}

bool lookupUdfRecord(ByteSource& src, std::vector<LookupStep>& path, std::uint64_t dataOffset,
                     UdfRecordFacts* out, const ScanControl& control)
{
    Tree scratch;
    UdfReader reader(src, scratch, control);
    return reader.lookup(path, dataOffset, out);
}

} // namespace vbe
