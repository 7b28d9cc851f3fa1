#include "ImageScan.h"

#include "UdfParser.h"

#include <unordered_map>

namespace vbe {

namespace {

constexpr std::uint32_t kAmbiguous = ~0u;

// Files by the image offset of their first data extent; offsets that several
// files share are marked ambiguous.
std::unordered_map<std::uint64_t, std::uint32_t> filesByData(const Tree& t)
{
    std::unordered_map<std::uint64_t, std::uint32_t> map;
    for (std::uint32_t i = 0; i < t.entries.size(); ++i) {
        const Entry& e = t.entries[i];
        if (e.directory || e.content != Content::Extents || e.extentCount == 0 || e.size == 0 ||
            e.firstExtent >= t.extents.size() || t.extents[e.firstExtent].offset == kHoleOffset)
            continue;
        auto [it, fresh] = map.emplace(t.extents[e.firstExtent].offset, i);
        if (!fresh)
            it->second = kAmbiguous;
    }
    return map;
}

bool longerVersionOf(const std::u16string& longer, const std::u16string& name)
{
    return longer.size() > name.size() && longer.compare(0, name.size(), name) == 0;
}

bool siblingNamed(const Tree& t, const Entry& parent, const std::u16string& name)
{
    for (std::uint32_t c : parent.children)
        if (t.entries[c].name == name)
            return true;
    return false;
}

void rename(Tree& t, std::uint32_t i, const std::u16string& name)
{
    if (!siblingNamed(t, t.entries[t.entries[i].parent], name))
        t.entries[i].name = name;
}

} // namespace

void takeBetterRecords(Tree& shown, const Tree& other)
{
    if (other.entries.empty() || shown.entries.empty())
        return;
    // Files that share their data: the longer name, the larger size.
    auto mine = filesByData(shown);
    auto theirs = filesByData(other);
    for (auto [offset, i] : mine) {
        auto it = theirs.find(offset);
        if (i == kAmbiguous || it == theirs.end() || it->second == kAmbiguous)
            continue;
        const Entry& o = other.entries[it->second];
        if (longerVersionOf(o.name, shown.entries[i].name))
            rename(shown, i, o.name);
        Entry& e = shown.entries[i];
        if (o.content == Content::Extents && o.size > e.size) {
            e.firstExtent = static_cast<std::uint32_t>(shown.extents.size());
            e.extentCount = o.extentCount;
            for (std::uint32_t k = 0; k < o.extentCount; ++k)
                shown.extents.push_back(other.extents[o.firstExtent + k]);
            e.size = o.size;
        }
    }
    // Folders (and files without data) have no extent to share: walk both
    // trees side by side and match a cut name by its longer version at the
    // same place.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs{{0, 0}};
    while (!pairs.empty()) {
        auto [a, b] = pairs.back();
        pairs.pop_back();
        const std::vector<std::uint32_t> kids = shown.entries[a].children;
        const auto& theirKids = other.entries[b].children;
        for (std::uint32_t c : kids) {
            const Entry& e = shown.entries[c];
            std::uint32_t match = kAmbiguous;
            std::uint32_t longer = kAmbiguous;
            int longerCount = 0;
            for (std::uint32_t d : theirKids) {
                const Entry& o = other.entries[d];
                if (o.directory != e.directory)
                    continue;
                if (o.name == e.name)
                    match = d;
                else if (longerVersionOf(o.name, e.name))
                    longer = d, ++longerCount;
            }
            if (match == kAmbiguous && longerCount == 1) {
                match = longer;
                rename(shown, c, other.entries[longer].name);
            }
            if (match == kAmbiguous)
                continue;
            if (e.directory) {
                pairs.push_back({c, match});
                continue;
            }
            // A symbolic link that this tree records as an empty file.
            const Entry& o = other.entries[match];
            Entry& mine = shown.entries[c];
            if (mine.size == 0 && o.content == Content::Inline && o.size > 0) {
                mine.content = Content::Inline;
                mine.inlineData = o.inlineData;
                mine.size = o.size;
                mine.extentCount = 0;
                mine.hasTime = o.hasTime;
                mine.mtime = o.mtime;
                mine.hundredths = o.hundredths;
            }
        }
    }
}

ScanStatus scanImage(ByteSource& logical, Tree& tree, const ScanControl& control)
{
    Tree udf, iso;
    ScanStatus udfStatus = scanUdf(logical, udf, control);
    if (udfStatus == ScanStatus::Aborted)
        return udfStatus;
    ScanStatus isoStatus = scanIso(logical, iso, control);
    if (isoStatus == ScanStatus::Aborted)
        return isoStatus;
    const bool haveUdf = udfStatus == ScanStatus::Ok;
    const bool haveIso = isoStatus == ScanStatus::Ok;
    if (!haveUdf && !haveIso)
        return udfStatus == ScanStatus::Corrupt || isoStatus == ScanStatus::Corrupt
                   ? ScanStatus::Corrupt
                   : ScanStatus::Unrecognized;
    // A sound UDF tree first; a sound ISO tree next; else the fuller one.
    bool useUdf;
    if (!haveIso)
        useUdf = true;
    else if (!haveUdf)
        useUdf = false;
    else if (udf.damage == 0)
        useUdf = true;
    else if (iso.damage == 0)
        useUdf = false;
    else
        useUdf = udf.entries.size() >= iso.entries.size();
    Tree& shown = useUdf ? udf : iso;
    const Tree& other = useUdf ? iso : udf;
    if (haveUdf && haveIso)
        takeBetterRecords(shown, other);
    if (useUdf && shown.label.empty())
        shown.label = iso.label;
    tree = std::move(shown);
    if (control.progress)
        control.progress->store(1.0f, std::memory_order_relaxed);
    return ScanStatus::Ok;
}

} // namespace vbe
