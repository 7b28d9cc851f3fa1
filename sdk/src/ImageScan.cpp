#include "ImageScan.h"

#include "ElTorito.h"
#include "UdfParser.h"
#include "VbeSdk.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

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

bool longerVersionOf(std::u16string_view longer, std::u16string_view name)
{
    return longer.size() > name.size() && longer.compare(0, name.size(), name) == 0;
}

// The names in each folder of a tree, made when a folder is first asked about,
// so that a rename checks its siblings by one lookup.
class FolderNames
{
public:
    explicit FolderNames(Tree& t) : t_(t) {}
    void rename(std::uint32_t i, std::u16string_view name)
    {
        std::uint32_t parent = t_.entries[i].parent;
        auto it = names_.find(parent);
        if (it == names_.end()) {
            it = names_.emplace(parent, std::unordered_set<std::u16string>()).first;
            for (std::uint32_t c : t_.children(parent))
                it->second.emplace(t_.name(c));
        }
        if (!it->second.emplace(name).second)
            return;
        it->second.erase(std::u16string(t_.name(i)));
        t_.setName(t_.entries[i], name);
    }

private:
    Tree& t_;
    std::unordered_map<std::uint32_t, std::unordered_set<std::u16string>> names_;
};

std::uint64_t firstOffset(const Tree& t, const Entry& e)
{
    return e.content == Content::Extents && e.extentCount && e.firstExtent < t.extents.size()
               ? t.extents[e.firstExtent].offset
               : kHoleOffset;
}

// What the other tree records of an entry as a Unix file, taken where it
// records better: Rock Ridge records it as Unix keeps it, while the UDF
// writers that put Rock Ridge beside it (genisoimage, pycdlib) record
// permissions of their own and no owner; a tree that records nothing takes
// what the other does. The kind must fit the entry as shown: a link with the
// same target, a device, pipe or socket only for an empty file. The identity
// comes along only for the same data, so that two names are never taken as
// one file unless this tree holds the same data for both.
void takeUnixRecord(Tree& shown, std::uint32_t i, const Tree& other, std::uint32_t j)
{
    Entry& mine = shown.entries[i];
    const Entry& o = other.entries[j];
    if (o.mode == 0 || (mine.mode != 0 && other.flavor != Flavor::RockRidge))
        return;
    const std::uint32_t kind = o.mode & kUnixTypeMask;
    const std::uint32_t shownKind = mine.mode ? mine.mode & kUnixTypeMask : kUnixRegular;
    bool fits;
    if (mine.directory || kind == kUnixDirectory)
        fits = mine.directory && kind == kUnixDirectory;
    else if (kind == kUnixSymlink)
        fits = mine.content == Content::Inline && shown.inlineData(mine) == other.inlineData(o);
    else if (kind == kUnixRegular)
        fits = shownKind == kUnixRegular;
    else
        fits = mine.size == 0 && (shownKind == kUnixRegular || shownKind == kind);
    if (!fits)
        return;
    mine.mode = o.mode;
    mine.links = o.links;
    mine.uid = o.uid;
    mine.gid = o.gid;
    if (kind == kUnixDirectory || kind == kUnixSymlink)
        mine.fileId = 0;
    else if (mine.size == 0 ? o.size == 0 : firstOffset(shown, mine) == firstOffset(other, o))
        mine.fileId = o.fileId;
}

class Aborter
{
public:
    explicit Aborter(const ScanControl& c) : c_(c) {}
    // Looks at the flag every 1024 steps.
    bool step() { return (++steps_ & 1023) == 0 && now(); }
    bool now() const { return c_.abort && c_.abort->load(std::memory_order_relaxed); }

private:
    const ScanControl& c_;
    std::uint64_t steps_ = 0;
};

} // namespace

bool takeBetterRecords(Tree& shown, const Tree& other, const ScanControl& control)
{
    if (other.entries.empty() || shown.entries.empty())
        return true;
    Aborter abort(control);
    FolderNames names(shown);
    // Files that share their data: the longer name, the larger size.
    auto mine = filesByData(shown);
    auto theirs = filesByData(other);
    for (auto [offset, i] : mine) {
        if (abort.step())
            return false;
        auto it = theirs.find(offset);
        if (i == kAmbiguous || it == theirs.end() || it->second == kAmbiguous)
            continue;
        const Entry& o = other.entries[it->second];
        if (longerVersionOf(other.name(o), shown.name(i)))
            names.rename(i, other.name(o));
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
    // same place. Their names, sorted, are searched, not compared one by one.
    std::uint64_t& compared = shown.mergeComparisons;
    auto byName = [&](std::uint32_t a, std::uint32_t b) {
        ++compared;
        return other.name(a) < other.name(b);
    };
    std::vector<std::uint32_t> theirFolders, theirFiles;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs{{0, 0}};
    while (!pairs.empty()) {
        // A folder's names are sorted before its first step: look at the
        // flag first.
        if (abort.now())
            return false;
        auto [a, b] = pairs.back();
        pairs.pop_back();
        theirFolders.clear();
        theirFiles.clear();
        for (std::uint32_t d : other.children(b))
            (other.entries[d].directory ? theirFolders : theirFiles).push_back(d);
        std::sort(theirFolders.begin(), theirFolders.end(), byName);
        std::sort(theirFiles.begin(), theirFiles.end(), byName);
        // Renames and the records taken leave the lists of children as they are.
        for (std::uint32_t c : shown.children(a)) {
            if (abort.step())
                return false;
            const Entry& e = shown.entries[c];
            const std::u16string_view name = shown.name(e);
            const auto& candidates = e.directory ? theirFolders : theirFiles;
            auto at = std::lower_bound(candidates.begin(), candidates.end(), name,
                                       [&](std::uint32_t d, std::u16string_view n) {
                                           ++compared;
                                           return other.name(d) < n;
                                       });
            std::uint32_t match = kAmbiguous;
            if (at != candidates.end() && other.name(*at) == name) {
                match = *at;
            } else if (at != candidates.end() && longerVersionOf(other.name(*at), name) &&
                       (at + 1 == candidates.end() ||
                        !longerVersionOf(other.name(*(at + 1)), name))) {
                // Exactly one longer version: names that start with this one
                // sort right after it.
                match = *at;
                names.rename(c, other.name(match));
            }
            if (match == kAmbiguous)
                continue;
            if (shown.entries[c].directory) {
                takeUnixRecord(shown, c, other, match);
                pairs.push_back({c, match});
                continue;
            }
            // A symbolic link that this tree records as an empty file.
            const Entry& o = other.entries[match];
            Entry& mine = shown.entries[c];
            if (mine.size == 0 && o.content == Content::Inline && o.size > 0) {
                shown.setInlineData(mine, std::string(other.inlineData(o)));
                mine.size = o.size;
                mine.hasTime = o.hasTime;
                mine.mtime = o.mtime;
                mine.hundredths = o.hundredths;
            }
            takeUnixRecord(shown, c, other, match);
        }
    }
    return true;
}

ScanStatus scanImage(ByteSource& logical, Tree& tree, const ScanControl& control)
{
    Tree udf, iso;
    ScanStatus udfStatus = scanUdf(logical, udf, control);
    if (udfStatus == ScanStatus::Aborted)
        return udfStatus;
    ScanControl isoControl = control;
    isoControl.expectedEntries = udf.entries.size();
    ScanStatus isoStatus = scanIso(logical, iso, isoControl);
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
    if (haveUdf && haveIso && !takeBetterRecords(shown, other, control))
        return ScanStatus::Aborted;
    if (useUdf && shown.label.empty())
        shown.label = iso.label;
    if (useUdf)
        shown.sessions = std::move(iso.sessions);
    tree = std::move(shown);
    addBootFolder(logical, tree);
    if (control.progress)
        control.progress->store(1.0f, std::memory_order_relaxed);
    return ScanStatus::Ok;
}

} // namespace vbe
