#include "ImageFacts.h"

#include "ElTorito.h"
#include "ImageScan.h"
#include "IsoFormat.h"
#include "Text.h"
#include "UdfFormat.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace vbe {

namespace {

constexpr std::uint32_t kBlock = iso::kBlockSize;

void copyText(const std::string& text, char* out, std::size_t capacity)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

void copyLabel(const std::u16string& text, char16_t* out, std::size_t capacity)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
}

std::u16string trimmed(std::u16string s)
{
    while (!s.empty() && (s.back() == u' ' || s.back() == 0))
        s.pop_back();
    return s;
}

bool readBlock(ByteSource& src, std::uint64_t block, std::uint8_t* out)
{
    return src.readExact(block * kBlock, out, kBlock);
}

// --- ISO 9660 ---------------------------------------------------------------

struct Session
{
    std::uint32_t start = 0;
    std::uint32_t volumeSpace = 0;
    std::uint8_t pvd[kBlock];
    std::vector<std::uint8_t> joliet; // the Joliet descriptor, when there is one
    bool enhanced = false;
    std::uint32_t bootCatalog = 0;
    bool elTorito = false;
};

bool readSession(ByteSource& src, std::uint32_t start, Session* s)
{
    using namespace iso;
    bool primary = false;
    std::uint8_t vd[kBlock];
    for (std::uint32_t i = 0; i < 64; ++i) {
        if (!readBlock(src, std::uint64_t(start) + kFirstDescriptor + i, vd) ||
            std::memcmp(vd + 1, "CD001", 5) != 0 || vd[0] == kVdTerminator)
            break;
        if (vd[0] == kVdPrimary && !primary) {
            primary = true;
            std::memcpy(s->pvd, vd, kBlock);
            s->volumeSpace = both32(vd + kVdVolumeSpaceSize);
        } else if (vd[0] == kVdSupplementary && vd[6] == 2) {
            s->enhanced = true;
        } else if (vd[0] == kVdSupplementary && s->joliet.empty() && vd[kVdEscapes] == '%' &&
                   vd[kVdEscapes + 1] == '/' && std::strchr("@CE", vd[kVdEscapes + 2]) &&
                   vd[kVdEscapes + 2]) {
            s->joliet.assign(vd, vd + kBlock);
        } else if (bootCatalogOf(vd, &s->bootCatalog)) {
            s->elTorito = true;
        }
    }
    s->start = start;
    return primary;
}

// The sessions the scan found, read again for their descriptors; the scan
// did the bounded search for them.
std::vector<Session> readSessions(ByteSource& src, const std::vector<std::uint32_t>& starts)
{
    std::vector<Session> sessions;
    for (std::uint32_t start : starts.empty() ? std::vector<std::uint32_t>{0} : starts) {
        Session s;
        if (readSession(src, start, &s))
            sessions.push_back(std::move(s));
    }
    return sessions;
}

// The level the primary tree keeps to: 1 for 8.3 names, 2 for longer ones,
// 3 when a file is recorded in several extents. Looks at no more than a
// bounded number of folders and records.
std::uint32_t isoLevel(ByteSource& src, const std::uint8_t* rootRecord)
{
    using namespace iso;
    std::uint32_t level = 1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> folders{
        {both32(rootRecord + kDrExtent), both32(rootRecord + kDrDataLength)}};
    std::vector<std::uint8_t> data;
    std::size_t visited = 0, records = 0;
    std::uint64_t budget = 64u << 20; // bytes of folders read at most
    while (!folders.empty() && visited < 4096 && records < 200000 && level < 3) {
        auto [block, length] = folders.back();
        folders.pop_back();
        ++visited;
        length = static_cast<std::uint32_t>(std::min<std::uint64_t>({length, 1u << 20, budget}));
        budget -= length;
        data.resize(length);
        if (length == 0 || !src.readExact(std::uint64_t(block) * kBlock, data.data(), length))
            continue;
        for (std::size_t at = 0; at + kDrMinLength <= length;) {
            const std::uint8_t* r = data.data() + at;
            if (r[kDrLength] == 0) { // records never cross a block
                at = (at / kBlock + 1) * kBlock;
                continue;
            }
            if (r[kDrLength] < kDrMinLength || at + r[kDrLength] > length ||
                kDrName + r[kDrNameLength] > r[kDrLength])
                break;
            ++records;
            at += r[kDrLength];
            const std::uint8_t n = r[kDrNameLength];
            if (n == 1 && r[kDrName] <= 1)
                continue; // "." and ".."
            if (r[kDrFlags] & kFlagMultiExtent)
                level = 3;
            std::string name(reinterpret_cast<const char*>(r + kDrName), n);
            if (r[kDrFlags] & kFlagDirectory) {
                if (name.size() > 8)
                    level = std::max(level, 2u);
                folders.push_back({both32(r + kDrExtent), both32(r + kDrDataLength)});
                continue;
            }
            name = name.substr(0, name.find(';'));
            const auto dot = name.find('.');
            const std::size_t base = dot == std::string::npos ? name.size() : dot;
            const std::size_t ext = dot == std::string::npos ? 0 : name.size() - dot - 1;
            if (base > 8 || ext > 3)
                level = std::max(level, 2u);
        }
    }
    return level;
}

// Rock Ridge: the System Use area of the root's "." record starts with SP;
// ER names the extension. Continuation areas are followed a few times.
void readRockRidge(ByteSource& src, const std::uint8_t* rootRecord, VbeImageFacts* f)
{
    using namespace iso;
    std::uint8_t dir[kBlock];
    if (!readBlock(src, both32(rootRecord + kDrExtent), dir))
        return;
    const std::uint8_t len = dir[kDrLength];
    if (len < kDrMinLength || dir[kDrNameLength] != 1)
        return;
    std::vector<std::uint8_t> area(dir + kDrMinLength, dir + len);
    if (area.size() < 7 || area[0] != 'S' || area[1] != 'P' || area[4] != 0xBE || area[5] != 0xEF)
        return;
    bool rockRidge = false;
    for (int hop = 0; hop < 4; ++hop) {
        std::uint32_t ceBlock = 0, ceOffset = 0, ceLength = 0;
        for (std::size_t at = 0; at + 4 <= area.size();) {
            const std::uint8_t* e = area.data() + at;
            const std::uint8_t n = e[2];
            if (n < 4 || at + n > area.size())
                break;
            const std::string sig(reinterpret_cast<const char*>(e), 2);
            if (sig == "ER" && n >= 8 && 8u + e[4] <= n) {
                const std::size_t idLen = std::min<std::size_t>(e[4], sizeof f->rockRidgeId - 1);
                const std::string id(reinterpret_cast<const char*>(e + 8), idLen);
                if (id.rfind("RRIP", 0) == 0 || id.rfind("IEEE_", 0) == 0) {
                    std::memcpy(f->rockRidgeId, id.data(), idLen);
                    f->rockRidgeId[idLen] = 0;
                    rockRidge = true;
                }
            } else if (sig == "RR" || sig == "PX" || sig == "NM") {
                rockRidge = true;
            } else if (sig == "CE" && n >= 28) {
                ceBlock = both32(e + 4);
                ceOffset = both32(e + 12);
                ceLength = both32(e + 20);
            } else if (sig == "ST") {
                break;
            }
            at += n;
        }
        if (ceLength == 0 || ceLength > kBlock || ceOffset >= kBlock)
            break;
        std::uint8_t block[kBlock];
        if (!readBlock(src, ceBlock, block))
            break;
        const std::uint32_t n = std::min(ceLength, kBlock - ceOffset);
        area.assign(block + ceOffset, block + ceOffset + n);
    }
    if (rockRidge)
        f->found |= kVbeFactRockRidge;
}

void readBootEntries(ByteSource& src, std::uint32_t catalog, VbeImageFacts* f)
{
    const std::vector<BootEntry> entries = readBootCatalog(src, catalog);
    f->bootEntryCount = static_cast<std::uint32_t>(entries.size());
    for (std::size_t i = 0; i < entries.size() && i < kVbeMaxBootEntries; ++i) {
        VbeBootEntry& b = f->boot[i];
        b.platform = entries[i].platform;
        b.bootable = entries[i].bootable;
        b.emulation = entries[i].emulation;
        b.loadSegment = entries[i].loadSegment;
        b.sectorCount = entries[i].sectorCount;
        b.loadBlock = entries[i].loadBlock;
    }
}

// --- UDF ------------------------------------------------------------------------

std::u16string dstring(const std::uint8_t* p, std::size_t field)
{
    const std::size_t n = p[field - 1];
    if (n < 2 || n >= field)
        return {};
    if (p[0] == 8)
        return latin1ToUtf16(p + 1, n - 1);
    if (p[0] == 16)
        return utf16beToUtf16(p + 1, n - 1);
    return {};
}

void readUdf(ByteSource& src, VbeImageFacts* f)
{
    using namespace udf;
    std::uint8_t b[kBlock];
    std::uint32_t nsr = 0;
    for (std::uint32_t i = 0; i < 64; ++i) {
        if (!src.readExact(kRecognitionStart + std::uint64_t(i) * kBlock, b, kBlock) ||
            (b[0] != 0 && std::memcmp(b + 1, "CD001", 5) != 0 &&
             std::memcmp(b + 1, "BEA01", 5) != 0 && std::memcmp(b + 1, "NSR0", 4) != 0 &&
             std::memcmp(b + 1, "BOOT2", 5) != 0))
            break;
        if (std::memcmp(b + 1, "NSR02", 5) == 0)
            nsr = 2;
        else if (std::memcmp(b + 1, "NSR03", 5) == 0)
            nsr = 3;
        if (std::memcmp(b + 1, "TEA01", 5) == 0)
            break;
    }
    if (nsr == 0)
        return;
    // The anchor sits at block 256 (or 256 before the end, or at the end) in
    // blocks of the volume's own size, which only the anchor's tag tells.
    std::uint32_t bs = 0, vdsStart = 0, vdsLength = 0;
    for (std::uint32_t size : {2048u, 512u, 1024u, 4096u}) {
        const std::uint64_t blocks = src.size() / size;
        for (std::uint64_t anchor : {std::uint64_t(kAnchorBlock), blocks - 257, blocks - 1}) {
            if (anchor >= blocks || !src.readExact(anchor * size, b, 512) ||
                le16(b) != kTagAnchor || le32(b + 12) != anchor)
                continue;
            bs = size;
            vdsLength = le32(b + kAnchorMain);
            vdsStart = le32(b + kAnchorMain + 4);
            break;
        }
        if (bs)
            break;
    }
    if (!bs)
        return;
    std::uint32_t blockSize = bs;
    std::uint32_t partitionLength = 0;
    bool logical = false;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(vdsLength / bs, 64); ++i) {
        std::memset(b, 0, kBlock);
        if (src.readAt((std::uint64_t(vdsStart) + i) * bs, b, kBlock) < std::int64_t(bs))
            break;
        const std::uint16_t tag = le16(b);
        if (tag == kTagTerminating)
            break;
        if (tag == kTagPrimaryVolume && f->udfLabel[0] == 0) {
            copyLabel(dstring(b + kPvdVolumeId, 32), f->udfLabel, 128);
        } else if (tag == kTagPartition) {
            f->udfAccess = le32(b + 184);
            partitionLength = le32(b + kPdLength);
        } else if (tag == kTagLogicalVolume && !logical) {
            logical = true;
            const std::u16string id = dstring(b + kLvdVolumeId, 128);
            if (!id.empty())
                copyLabel(id, f->udfLabel, 128);
            blockSize = le32(b + kLvdBlockSize);
            f->udfRevision = le16(b + 216 + 24); // the domain identifier's suffix
            f->udfPartition = kVbeUdfPhysical;
            const std::uint32_t maps = std::min<std::uint32_t>(le32(b + kLvdMapCount), 8);
            std::size_t at = kLvdMaps;
            for (std::uint32_t m = 0; m < maps && at + 2 <= kBlock; ++m) {
                const std::uint8_t type = b[at], length = b[at + 1];
                if (length < 2 || at + length > kBlock)
                    break;
                if (type == kMapIdentified && length >= 64) {
                    const std::uint8_t* ident = b + at + kMap2Ident;
                    VbeUdfPartition kind = kVbeUdfPhysical;
                    if (identIs(ident, "*UDF Virtual Partition"))
                        kind = kVbeUdfVirtual;
                    else if (identIs(ident, "*UDF Sparable Partition"))
                        kind = kVbeUdfSparable;
                    else if (identIs(ident, "*UDF Metadata Partition"))
                        kind = kVbeUdfMetadata;
                    f->udfPartition = std::max(f->udfPartition, kind);
                }
                at += length;
            }
        }
    }
    if (!logical)
        return;
    f->found |= kVbeFactUdf;
    if (f->udfRevision == 0)
        f->udfRevision = nsr == 2 ? 0x0150 : 0x0200;
    if (blockSize == 0 || blockSize > (1u << 16))
        blockSize = bs;
    f->udfPartitionBytes = std::uint64_t(partitionLength) * blockSize;
}

} // namespace

Result readImageFacts(const OpenedImage& image, VbeImageFacts* f)
{
    const std::uint32_t size = f->structSize;
    std::memset(static_cast<void*>(f), 0, sizeof *f);
    f->structSize = size;
    const Disc& disc = *image.disc;
    f->fileBytes = image.fileBytes;
    f->sectorSize = image.layout.sectorSize;
    copyText(disc.container, f->container, sizeof f->container);
    f->trackCount = static_cast<std::uint32_t>(disc.tracks.size());
    for (std::size_t i = 0; i < disc.tracks.size() && i < kVbeMaxTracks; ++i) {
        const Track& t = disc.tracks[i];
        VbeTrack& out = f->tracks[i];
        out.number = t.number;
        out.session = t.session;
        out.audio = t.audio;
        out.sectorSize = t.sectorSize;
        out.startLba = t.startLba;
        out.sectors = t.sectors;
        out.bytes = t.audio ? std::uint64_t(t.sectors) * 2352 : std::uint64_t(t.sectors) * 2048;
        copyText(t.mode, out.mode, sizeof out.mode);
    }
    const std::shared_ptr<ByteSource>& logical = image.logical;

    // The tree the viewer would show, read as the viewer reads it.
    Tree tree;
    const ScanStatus status = scanOpened(image, tree);
    if (status == ScanStatus::Unrecognized)
        return kUnrecognized;
    if (status != ScanStatus::Ok)
        return kCorrupt;
    f->shown = static_cast<VbeShownTree>(tree.flavor);
    f->folderCount = tree.folders;
    f->fileCount = tree.files;
    f->damage = tree.damage;
    if (!tree.notes.empty()) {
        const std::string& note = tree.notes.front();
        copyLabel(utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(note.data()), note.size()),
                  f->firstDamage, 256);
    }
    f->shownSessionStart = static_cast<std::uint32_t>(tree.sessionStart);
    for (const Entry& e : tree.entries)
        if (!e.directory)
            f->dataBytes += e.size;
    copyLabel(tree.label, f->label, 128);

    const std::vector<Session> sessions = readSessions(*logical, tree.sessions);
    f->sessions = static_cast<std::uint32_t>(sessions.size());
    if (!sessions.empty()) {
        // The session the ISO tree comes from: the newest, which the scan reads.
        const Session& s = sessions.back();
        f->found |= kVbeFactIso9660;
        f->isoVolumeBytes = std::uint64_t(s.volumeSpace) * kBlock;
        copyLabel(trimmed(latin1ToUtf16(s.pvd + iso::kVdVolumeId, 32)), f->isoLabel, 33);
        if (!s.joliet.empty()) {
            f->found |= kVbeFactJoliet;
            const char escape = static_cast<char>(s.joliet[iso::kVdEscapes + 2]);
            f->jolietLevel = escape == '@' ? 1 : escape == 'C' ? 2 : 3;
            copyLabel(trimmed(utf16beToUtf16(s.joliet.data() + iso::kVdVolumeId, 32)),
                      f->jolietLabel, 33);
        }
        const std::uint8_t* root = s.pvd + iso::kVdRootRecord;
        f->isoLevel = s.enhanced ? 4 : isoLevel(*logical, root);
        if (s.enhanced)
            f->found |= kVbeFactIso1999;
        readRockRidge(*logical, root, f);
        // Boot records sit in the first session, where firmware looks.
        if (sessions.front().elTorito) {
            f->found |= kVbeFactElTorito;
            readBootEntries(*logical, sessions.front().bootCatalog, f);
        }
    }
    readUdf(*logical, f);
    return kOk;
}

} // namespace vbe
