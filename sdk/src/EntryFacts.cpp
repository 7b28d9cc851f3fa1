#include "EntryFacts.h"

#include "IsoFormat.h"
#include "PathIndex.h"
#include "Text.h"
#include "UdfParser.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace vbe {

namespace {

void copyName(const std::u16string& text, char16_t* out, std::size_t capacity)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
}

std::uint64_t dataStart(const std::vector<Extent>& extents)
{
    for (const Extent& e : extents)
        if (e.offset != kHoleOffset && e.length > 0)
            return e.offset;
    return kHoleOffset;
}

std::uint32_t blockOf(std::uint64_t offset)
{
    return offset == kHoleOffset ? 0 : static_cast<std::uint32_t>(offset / iso::kBlockSize);
}

void setTime(VbeEntryFacts* f, VbeEntryTime which, const Stamp& s)
{
    if (!s.present)
        return;
    f->timesPresent |= 1u << which;
    f->times[which] = s.utc;
}

// The records of the entry in each tree of the image.
struct Records
{
    std::optional<IsoRecordFacts> iso, joliet;
    std::optional<UdfRecordFacts> udf;
};

// Looks the entry up in every tree, the shown one first; a tree that fails
// is tried once more with the names the others found.
Records lookUp(const OpenedImage& image, Flavor shown, std::vector<LookupStep> path,
               std::uint64_t dataOffset)
{
    ScanControl control;
    if (!image.sessionStarts.empty())
        control.sessionStarts = &image.sessionStarts;
    ByteSource& src = *image.logical;
    Records r;
    enum Which
    {
        Iso,
        Joliet,
        Udf
    };
    auto find = [&](Which w) {
        if (w == Udf) {
            UdfRecordFacts f;
            if (lookupUdfRecord(src, path, dataOffset, &f, control))
                r.udf = std::move(f);
            return r.udf.has_value();
        }
        IsoRecordFacts f;
        if (!lookupIsoRecord(src, w == Joliet, path, dataOffset, &f, control))
            return false;
        (w == Joliet ? r.joliet : r.iso) = std::move(f);
        return true;
    };
    const Which first = shown == Flavor::Udf ? Udf : shown == Flavor::Joliet ? Joliet : Iso;
    std::vector<Which> left;
    if (!find(first))
        left.push_back(first);
    for (Which w : {Iso, Joliet, Udf})
        if (w != first && !find(w))
            left.push_back(w);
    if (left.size() < 3)
        for (Which w : left)
            find(w);
    return r;
}

} // namespace

Result readEntryFacts(const OpenedImage& image, std::u16string_view path, VbeEntryFacts* f)
{
    const std::uint32_t size = f->structSize;
    std::memset(static_cast<void*>(f), 0, sizeof *f);
    f->structSize = size;

    // The tree the viewer shows, read as the viewer reads it.
    Tree tree;
    const ScanStatus status = scanOpened(image, tree);
    if (status == ScanStatus::Unrecognized)
        return kUnrecognized;
    if (status != ScanStatus::Ok)
        return kCorrupt;
    PathIndex index(tree);
    const std::optional<std::uint32_t> found = index.find(path);
    if (!found)
        return kPathNotFound;
    const Entry& e = tree.entries[*found];

    // The steps from the root, by the names the shown tree gives them.
    std::vector<LookupStep> steps;
    for (std::uint32_t i = *found; i != 0; i = tree.entries[i].parent)
        steps.push_back({{std::u16string(tree.name(i))}, tree.entries[i].directory});
    std::reverse(steps.begin(), steps.end());

    // A folder's fields name its children, not extents.
    const std::size_t from =
        e.directory ? 0 : std::min<std::size_t>(e.firstExtent, tree.extents.size());
    const std::size_t to =
        e.directory ? 0 : std::min<std::size_t>(from + e.extentCount, tree.extents.size());
    const std::vector<Extent> extents(tree.extents.begin() + static_cast<std::ptrdiff_t>(from),
                                      tree.extents.begin() + static_cast<std::ptrdiff_t>(to));
    const bool hasData = !e.directory && e.content != Content::Inline;
    const std::uint64_t start = hasData ? dataStart(extents) : kHoleOffset;
    const Records r = lookUp(image, tree.flavor, steps, start);

    // Each tree's record and name; a folder's records name no data.
    auto firstBlockOf = [&](const std::vector<Extent>& x) {
        return e.directory ? 0 : blockOf(dataStart(x));
    };
    const bool rock = r.iso && r.iso->rockRidge;
    if (r.iso) {
        f->trees |= 1u << kVbeShownIso9660;
        copyName(r.iso->name, f->names[kVbeShownIso9660], 256);
        f->firstBlocks[kVbeShownIso9660] = firstBlockOf(r.iso->extents);
    }
    if (rock) {
        f->trees |= 1u << kVbeShownRockRidge;
        // Without NM, the Rock Ridge tree names it as ISO 9660 does, but for
        // the version.
        std::u16string name = r.iso->rockName;
        if (name.empty()) {
            name = r.iso->name.substr(0, r.iso->name.rfind(u';'));
            if (!e.directory && name.size() > 1 && name.back() == u'.')
                name.pop_back();
        }
        copyName(name, f->names[kVbeShownRockRidge], 256);
        f->firstBlocks[kVbeShownRockRidge] = f->firstBlocks[kVbeShownIso9660];
    }
    if (r.joliet) {
        f->trees |= 1u << kVbeShownJoliet;
        copyName(r.joliet->name, f->names[kVbeShownJoliet], 256);
        f->firstBlocks[kVbeShownJoliet] = firstBlockOf(r.joliet->extents);
    }
    if (r.udf) {
        f->trees |= 1u << kVbeShownUdf;
        copyName(r.udf->name, f->names[kVbeShownUdf], 256);
        f->firstBlocks[kVbeShownUdf] = firstBlockOf(r.udf->extents);
    }
    if (steps.empty())
        for (auto& name : f->names)
            name[0] = 0;

    // What the shown tree's record says.
    if (e.directory)
        f->flags |= kVbeEntryDirectory;
    if (e.hidden)
        f->flags |= kVbeEntryHidden;
    if (e.content == Content::Zisofs) {
        f->flags |= kVbeEntryZisofs;
        f->zisofsBlockSize = 1u << e.zisofsBlockLog2;
    }
    const IsoRecordFacts* isoShown = tree.flavor == Flavor::Joliet
                                         ? (r.joliet ? &*r.joliet : nullptr)
                                     : tree.flavor != Flavor::Udf && r.iso ? &*r.iso
                                                                           : nullptr;
    if (isoShown) {
        if (isoShown->flags & iso::kFlagAssociated)
            f->flags |= kVbeEntryAssociated;
        if (isoShown->flags & iso::kFlagMultiExtent)
            f->flags |= kVbeEntryMultiExtent;
        setTime(f, kVbeTimeRecorded, isoShown->recorded);
        if (tree.flavor == Flavor::RockRidge) {
            setTime(f, kVbeTimeCreated, isoShown->rockTimes[0]);
            setTime(f, kVbeTimeModified, isoShown->rockTimes[1]);
            setTime(f, kVbeTimeAccessed, isoShown->rockTimes[2]);
            setTime(f, kVbeTimeAttributes, isoShown->rockTimes[3]);
        }
        if (!(f->timesPresent & (1u << kVbeTimeModified)))
            setTime(f, kVbeTimeModified, isoShown->recorded);
    }
    const bool embedded = tree.flavor == Flavor::Udf && r.udf && r.udf->embedded;
    if (tree.flavor == Flavor::Udf && r.udf) {
        if (r.udf->characteristics & 0x10)
            f->flags |= kVbeEntryAssociated;
        if (embedded && !e.directory)
            f->flags |= kVbeEntryInline;
        setTime(f, kVbeTimeAccessed, r.udf->accessed);
        setTime(f, kVbeTimeModified, r.udf->modified);
        setTime(f, kVbeTimeAttributes, r.udf->attributes);
        setTime(f, kVbeTimeCreated, r.udf->created);
        if (r.iso)
            setTime(f, kVbeTimeRecorded, r.iso->recorded);
    }

    // Where the data lies, as the shown tree reads it.
    f->size = e.size;
    if (hasData) {
        std::uint64_t end = kHoleOffset;
        for (const Extent& x : extents) {
            f->extentCount += x.length > 0;
            if (x.offset == kHoleOffset || x.length == 0)
                continue;
            f->storedBytes += x.length;
            if (end != kHoleOffset && x.offset != end)
                f->fragmented = 1;
            end = x.offset + (x.length + iso::kBlockSize - 1) / iso::kBlockSize * iso::kBlockSize;
        }
        f->firstBlock = blockOf(start);
    } else if ((f->flags & kVbeEntryInline) != 0) {
        f->storedBytes = e.size;
    }

    f->unixMode = e.mode;
    f->links = e.links;
    f->owner = e.uid;
    f->group = e.gid;
    if ((e.mode & kUnixTypeMask) == kUnixSymlink) {
        const std::string_view target = tree.inlineData(e);
        copyName(utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(target.data()), target.size()),
                 f->linkTarget, 1024);
    }
    return kOk;
}

} // namespace vbe
