// Scans an image from memory, walks every entry and reads every file.
#include "ExerciseImage.h"

#include "ByteSource.h"
#include "FileReader.h"
#include "ImageScan.h"
#include "IsoParser.h"
#include "PathIndex.h"

#include <vector>

namespace vbe {

namespace {

std::u16string pathOf(const Tree& tree, std::uint32_t i)
{
    std::u16string path;
    for (int guard = 0; i != 0 && guard < 2048; ++guard) {
        const Entry& e = tree.entries[i];
        path = path.empty() ? e.name : e.name + u"\\" + path;
        i = e.parent;
    }
    return path;
}

} // namespace

bool exerciseImage(const std::uint8_t* data, std::size_t size)
{
    auto file = std::make_shared<MemorySource>(data, size);
    SectorLayout layout;
    if (!detectSectorLayout(*file, &layout))
        return true;
    auto logical = logicalView(file, layout);
    Tree tree;
    if (scanImage(*logical, tree) != ScanStatus::Ok)
        return true;

    PathIndex index(tree);
    std::vector<std::uint8_t> buf(64 * 1024);
    std::uint64_t budget = 8u << 20; // bytes read per input
    // Every entry reached from the root: found again by its path, and read.
    std::vector<std::uint32_t> pending{0};
    std::size_t visited = 0;
    while (!pending.empty() && visited < 4096) {
        std::uint32_t dir = pending.back();
        pending.pop_back();
        for (std::uint32_t i : tree.entries[dir].children) {
            ++visited;
            const Entry& e = tree.entries[i];
            auto found = index.find(pathOf(tree, i));
            if (!found || *found != i)
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
