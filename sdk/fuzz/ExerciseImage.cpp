// Opens an image from memory as the module opens any image file (a
// described disc too), reads its facts, walks every entry and reads every
// file; the facts of a few entries are read too.
#include "ExerciseImage.h"

#include "ByteSource.h"
#include "EntryFacts.h"
#include "FileReader.h"
#include "ImageFacts.h"
#include "ImageScan.h"
#include "IsoParser.h"
#include "OpenDisc.h"
#include "PathIndex.h"

#include <cerrno>
#include <memory>
#include <vector>

namespace vbe {

namespace {

std::u16string pathOf(const Tree& tree, std::uint32_t i)
{
    std::u16string path;
    for (int guard = 0; i != 0 && guard < 2048; ++guard) {
        const Entry& e = tree.entries[i];
        const std::u16string name(tree.name(e));
        path = path.empty() ? name : name + u"\\" + path;
        i = e.parent;
    }
    return path;
}

// The folder of an input: every file a description names is the input
// itself, so a cue sheet or descriptor reads its own bytes as its sectors.
class SelfFolder final : public DiscFolder
{
public:
    explicit SelfFolder(std::shared_ptr<ByteSource> self) : self_(std::move(self)) {}
    std::shared_ptr<ByteSource> open(const std::string& name, int* error) const override
    {
        if (name.empty() || name.front() == '/' || name.find("..") != std::string::npos) {
            *error = ENOENT;
            return nullptr;
        }
        return self_;
    }

private:
    std::shared_ptr<ByteSource> self_;
};

} // namespace

bool exerciseImage(const std::uint8_t* data, std::size_t size)
{
    auto file = std::make_shared<MemorySource>(data, size);
    OpenedImage opened;
    if (openDisc(file, "input.img", SelfFolder(file), &opened) != kOk)
        return true;
    // What lantern-cli info reads of it, first: it opens the image on its own.
    {
        auto facts = std::make_unique<VbeImageFacts>();
        facts->structSize = sizeof(VbeImageFacts);
        readImageFacts(opened, facts.get());
    }
    Tree tree;
    if (scanOpened(opened, tree) != ScanStatus::Ok)
        return true;
    const std::shared_ptr<ByteSource>& logical = opened.data;

    PathIndex index(tree);
    std::vector<std::uint8_t> buf(64 * 1024);
    std::uint64_t budget = 8u << 20; // bytes read per input
    // Every entry reached from the root: found again by its path, and read.
    std::vector<std::uint32_t> pending{0};
    std::size_t visited = 0;
    // Each asks for a scan of its own: the root and the first few entries.
    auto entryFacts = std::make_unique<VbeEntryFacts>();
    auto readEntry = [&](std::uint32_t i) {
        entryFacts->structSize = sizeof(VbeEntryFacts);
        return readEntryFacts(opened, pathOf(tree, i), entryFacts.get()) == kOk;
    };
    if (!readEntry(0))
        return false;
    while (!pending.empty() && visited < 4096) {
        std::uint32_t dir = pending.back();
        pending.pop_back();
        for (std::uint32_t i : tree.children(dir)) {
            ++visited;
            const Entry& e = tree.entries[i];
            auto found = index.find(pathOf(tree, i));
            if (!found || *found != i || (visited <= 4 && !readEntry(i)))
                return false;
            if (e.directory) {
                pending.push_back(i);
                continue;
            }
            FileReader reader(logical, tree, e);
            for (;;) {
                std::int64_t got = reader.read(buf.data(), buf.size());
                if (got <= 0 || budget < static_cast<std::uint64_t>(got))
                    break;
                budget -= static_cast<std::uint64_t>(got);
            }
        }
    }
    return true;
}

} // namespace vbe
