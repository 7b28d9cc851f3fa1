// Images cheap to store and expensive to read (make_bombs.py) list with work
// bounded by the image's size; and every input the fuzzer crashed on, replayed.
#include "CountingSource.h"
#include "ExerciseImage.h"
#include "ImageScan.h"
#include "Text.h"
#include "UdfParser.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <zlib.h>

using namespace vbe;
namespace fs = std::filesystem;

namespace {

struct Scan
{
    ScanStatus status = ScanStatus::Unrecognized;
    Tree tree;
    std::uint64_t imageBytes = 0, reads = 0, bytesRead = 0;
    std::set<std::string> names; // of the root's children
};

fs::path makeBomb(const std::string& kind)
{
    static const fs::path dir =
        fs::temp_directory_path() / ("lantern-bombs-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path image = dir / (kind + ".img");
    const std::string cmd = "/usr/bin/python3 '" LANTERN_SDK_TEST_SCRIPTS "/make_bombs.py' " +
                            kind + " '" + image.string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << kind;
    return image;
}

Scan scanBomb(const std::string& kind)
{
    fs::path image = makeBomb(kind);
    Scan s;
    int error = 0;
    std::shared_ptr<ByteSource> file = FileSource::open(image.string(), &error);
    if (!file)
        return s;
    auto counting = std::make_shared<CountingSource>(file);
    s.imageBytes = counting->size();
    SectorLayout layout;
    detectSectorLayout(*counting, &layout);
    s.status = scanImage(*logicalView(counting, layout), s.tree);
    s.reads = counting->reads;
    s.bytesRead = counting->bytes;
    if (s.status == ScanStatus::Ok)
        for (std::uint32_t c : s.tree.children(0))
            s.names.insert(utf16ToUtf8(std::u16string(s.tree.name(c))));
    return s;
}

std::string notes(const Tree& t)
{
    std::string all;
    for (const auto& n : t.notes)
        all += n + "; ";
    return all;
}

constexpr std::size_t kSome = ~std::size_t(0); // checked by the case itself

// The hybrid image's one folder: 40,000 names, each looked up in the other
// tree's sorted names (log2 40,000 < 16 comparisons) after one sort of them.
constexpr std::uint64_t kWide = 40000;
constexpr std::uint64_t kLog2Wide = 16;

// Folders nested a thousand levels deep list whole; deeper ones are cut at
// the reader's depth, as damage.
std::function<void(const Scan&)> nested(std::uint32_t levels)
{
    return [levels](const Scan& s) {
        EXPECT_EQ(s.tree.flavor, Flavor::Udf);
        std::uint32_t depth = 0, at = 0;
        bool leaf = false;
        for (;;) {
            const auto kids = s.tree.children(at);
            leaf = leaf || (kids.size() == 1 && s.tree.name(kids[0]) == u"leaf.txt");
            if (kids.size() != 1 || !s.tree.entries[kids[0]].directory)
                break;
            at = kids[0];
            ++depth;
        }
        const bool whole = levels < limits::kMaxDepth;
        EXPECT_EQ(depth, whole ? levels : limits::kMaxDepth - 1);
        EXPECT_EQ(leaf, whole);
        EXPECT_EQ(s.tree.damage > 0, !whole) << notes(s.tree);
    };
}

struct Case
{
    const char* kind;
    std::size_t names;           // children of the root that list
    std::uint64_t maxExtents;    // extents the tree may hold
    std::uint64_t maxBlocksRead; // blocks of 2048 bytes read, beyond the image's own size
    std::function<void(const Scan&)> more;
};

TEST(Bombs, ListWithWorkBoundedByTheImage)
{
    const std::uint64_t vatRepeated = 64ull << 20 >> 11; // the VAT's blocks, one run read 32 times
    const Case cases[] = {
        // A continuation area belongs to one record: the others are damage.
        {"udf-aed-fanout", 20000, 4001, 1024, nullptr},
        {"udf-indirect-fanout", 20000, 1, 1024, nullptr},
        {"rr-continuation-fanout", 1, 1, 1024,
         [](const Scan& s) {
             EXPECT_TRUE(s.names.count("file-000000"));
             EXPECT_EQ(s.tree.flavor, Flavor::RockRidge);
         }},
        // The files past the caps on extents are left out, as damage.
        {"udf-vat-expansion", kSome, limits::kMaxTotalExtents, vatRepeated + 1024,
         [](const Scan& s) {
             EXPECT_GE(s.names.size(), 1u);
             EXPECT_LT(s.names.size(), 200u);
             EXPECT_GT(s.tree.damage, 0u);
         }},
        {"udf-sparing-expansion", 20000, 10 * 65535, 1024, nullptr},
        {"udf-metadata-runs", 20000, 8, 1024, nullptr},
        {"udf-repeated-folder", 40, 1, 1024, nullptr},
        {"iso-overlapping-folders", 1000, 2048 * 40, 1024,
         [](const Scan& s) {
             std::size_t inFolders = 0;
             for (std::uint32_t c : s.tree.children(0))
                 inFolders += s.tree.children(c).size();
             EXPECT_EQ(inFolders, 2048u * 40) << notes(s.tree);
         }},
        {"iso-multi-extent-overlap", 1, 3, 1024,
         [](const Scan& s) { EXPECT_TRUE(s.names.count("OK.TXT")); }},
        // Comparing each name with each other one would take 800 million.
        {"hybrid-wide-folder", 1, 16, 1024,
         [](const Scan& s) {
             EXPECT_EQ(s.tree.flavor, Flavor::Udf);
             ASSERT_TRUE(s.names.count("BIG"));
             EXPECT_EQ(s.tree.children(s.tree.children(0)[0]).size(), kWide);
             EXPECT_GT(s.tree.mergeComparisons, kWide);
             EXPECT_LE(s.tree.mergeComparisons, 4 * kWide * kLog2Wide);
         }},
        {"udf-nesting-1000", 1, ~0ull, 1024, nested(1000)},
        {"udf-nesting-1500", 1, ~0ull, 1024, nested(1500)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Scan s = scanBomb(c.kind);
        ASSERT_EQ(s.status, ScanStatus::Ok) << notes(s.tree);
        if (c.names != kSome) {
            EXPECT_EQ(s.names.size(), c.names) << notes(s.tree);
        }
        EXPECT_LE(s.tree.extents.size(), c.maxExtents);
        // Every byte read once, give or take the structures read twice (an
        // anchor, a descriptor sequence and its reserve, the read-ahead windows).
        EXPECT_LE(s.bytesRead, 2 * s.imageBytes + c.maxBlocksRead * 2048) << s.reads << " reads";
        const std::uint64_t blocks = s.imageBytes / 2048;
        EXPECT_LE(s.tree.structuresRead, 4 * blocks);
        EXPECT_LE(s.tree.recordsSeen, limits::kRecordsBase + 256 * blocks);
        if (c.more)
            c.more(s);
    }
}

// Cancelling while the trees are merged: the merge stops before it sorts or
// looks up another folder's names, and at the latest 1,024 names later.
TEST(HybridMerge, StopsSoonAfterTheCancelFlag)
{
    fs::path image = makeBomb("hybrid-wide-folder");
    int error = 0;
    std::shared_ptr<ByteSource> file = FileSource::open(image.string(), &error);
    ASSERT_TRUE(file);
    SectorLayout layout;
    detectSectorLayout(*file, &layout);
    auto view = logicalView(file, layout);
    Tree udf, iso;
    ASSERT_EQ(scanUdf(*view, udf), ScanStatus::Ok);
    ASSERT_EQ(scanIso(*view, iso), ScanStatus::Ok);

    std::atomic<bool> cancel{true};
    ScanControl control;
    control.abort = &cancel;
    Tree cancelled = udf;
    EXPECT_FALSE(takeBetterRecords(cancelled, iso, control));
    EXPECT_LE(cancelled.mergeComparisons, 1024 * kLog2Wide);

    Tree whole = udf;
    EXPECT_TRUE(takeBetterRecords(whole, iso));
    EXPECT_GT(whole.mergeComparisons, 1024 * kLog2Wide);

    Tree tree;
    EXPECT_EQ(scanImage(*view, tree, control), ScanStatus::Aborted);
}

std::vector<std::uint8_t> gunzip(const std::filesystem::path& p)
{
    std::vector<std::uint8_t> out;
    gzFile f = gzopen(p.c_str(), "rb");
    if (!f)
        return out;
    std::uint8_t buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0)
        out.insert(out.end(), buf, buf + n);
    gzclose(f);
    return out;
}

TEST(FuzzFindings, EveryFoundInputScansAndReadsCleanly)
{
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(LANTERN_SDK_FUZZ_FINDINGS)) {
        if (e.path().extension() != ".gz")
            continue;
        auto data = gunzip(e.path());
        ASSERT_FALSE(data.empty()) << e.path();
        EXPECT_TRUE(vbe::exerciseImage(data.data(), data.size())) << e.path().filename();
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace
