// What the module's VbeReadEntryFacts tells of one entry: each tree's name
// and record, the times of the shown tree's record, the Unix record, where
// the data lies, for images of one written tree by several writers.
#include "SdkSupport.h"

#include <ctime>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sdktest;

namespace {

constexpr std::uint32_t kIso = 1u << kVbeShownIso9660, kRock = 1u << kVbeShownRockRidge,
                        kJoliet = 1u << kVbeShownJoliet, kUdf = 1u << kVbeShownUdf;
constexpr std::int64_t kModified = 1'500'000'000, kAccessed = 1'600'000'000;

struct Case
{
    const char* image;
    const char* path;
    std::uint32_t trees;
    std::uint32_t flags;
    std::array<const char*, 4> names; // by VbeShownTree
    std::uint32_t unixMode;
    // Times that must be there with these values; 1: there, of any value.
    std::map<VbeEntryTime, std::int64_t> times;
    std::function<void(const VbeEntryFacts&)> more = nullptr;
};

TEST(EntryFacts, EachTreesRecordOfOneEntry)
{
    TempDir dir;
    const fs::path tree = dir / "tree";
    const std::string data = pattern(5000, 7);
    writeFile(tree / "docs/Read Me.txt", data);
    chmod((tree / "docs/Read Me.txt").c_str(), 0640);
    setMtime(tree / "docs/Read Me.txt", kModified);
    // Each writer reads the file, which sets its access time: set again
    // before each.
    writeFile(tree / "docs/stamps", "stamp\n");
    const auto stamp = [&] {
        const struct timespec times[2] = {{kAccessed, 0}, {kModified, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (tree / "docs/stamps").c_str(), times, 0), 0);
    };
    std::string text;
    for (int i = 0; text.size() < 100000; ++i)
        text += "line " + std::to_string(i) + "\n";
    writeFile(tree / "z/big.txt", text);
    const std::int64_t written = std::time(nullptr) - 1;
    stamp();
    makeIso(dir, tree, "-R -J", "rr.iso");
    makeIso(dir, tree, "-J", "joliet.iso");
    makeIso(dir, tree, "-R -J -udf", "bridge.iso");
    stamp();
    makeImage(std::string(kPython) + " %S/make_udf.py %T %O --plain --unix --efe --embed", tree,
              dir / "embedded.udf");
    const bool zisofs = haveTool("xorriso");
    if (zisofs)
        makeImage("xorriso -outdev %O -map %T / -set_filter_r --zisofs /z -- -commit", tree,
                  dir / "zisofs.iso");

    const std::uint32_t owner = geteuid(), mode = 0100640;
    const auto now = [] { return std::time(nullptr) + 1; };
    const auto sameData = [](std::uint32_t trees) {
        return [trees](const VbeEntryFacts& f) {
            EXPECT_NE(f.firstBlock, 0u);
            for (std::uint32_t t = 0; t < 4; ++t)
                EXPECT_EQ(f.firstBlocks[t], trees & (1u << t) ? f.firstBlock : 0u) << t;
            EXPECT_EQ(f.size, 5000u);
            EXPECT_EQ(f.storedBytes, 5000u);
            EXPECT_EQ(f.extentCount, 1u);
            EXPECT_EQ(f.fragmented, 0u);
        };
    };
    const Case cases[] = {
        {"rr.iso",
         "docs\\Read Me.txt",
         kIso | kRock | kJoliet,
         0,
         {"READ_ME.TXT;1", "Read Me.txt", "Read Me.txt", ""},
         mode,
         {{kVbeTimeRecorded, kModified}, {kVbeTimeModified, kModified}},
         [&](const VbeEntryFacts& f) {
             sameData(kIso | kRock | kJoliet)(f);
             EXPECT_EQ(f.links, 1u);
             EXPECT_EQ(f.owner, owner);
             EXPECT_EQ(f.group, getegid());
         }},
        // Rock Ridge's three times, each its own.
        {"rr.iso",
         "docs\\stamps",
         kIso | kRock | kJoliet,
         0,
         {"STAMPS.;1", "stamps", "stamps", ""},
         0100644,
         {{kVbeTimeModified, kModified}, {kVbeTimeAccessed, kAccessed}, {kVbeTimeAttributes, 1}},
         [&](const VbeEntryFacts& f) {
             EXPECT_EQ(f.timesPresent & (1u << kVbeTimeCreated), 0u);
             EXPECT_GE(f.times[kVbeTimeAttributes], written);
             EXPECT_LE(f.times[kVbeTimeAttributes], now());
             EXPECT_EQ(f.size, 6u);
             EXPECT_EQ(f.extentCount, 1u);
         }},
        // Plain ISO 9660 names and Joliet's: the file by its data, the folder
        // by its name in another case.
        {"joliet.iso",
         "docs\\Read Me.txt",
         kIso | kJoliet,
         0,
         {"READ_ME.TXT;1", "", "Read Me.txt", ""},
         0,
         {{kVbeTimeRecorded, kModified}, {kVbeTimeModified, kModified}},
         [&](const VbeEntryFacts& f) {
             sameData(kIso | kJoliet)(f);
             EXPECT_EQ(f.timesPresent, 3u);
         }},
        {"bridge.iso",
         "docs\\Read Me.txt",
         kIso | kRock | kJoliet | kUdf,
         0,
         {"READ_ME.TXT;1", "Read Me.txt", "Read Me.txt", "Read Me.txt"},
         mode,
         {{kVbeTimeRecorded, kModified},
          {kVbeTimeModified, kModified},
          {kVbeTimeAccessed, 1},
          {kVbeTimeAttributes, 1}},
         sameData(kIso | kRock | kJoliet | kUdf)},
        {"bridge.iso",
         "docs",
         kIso | kRock | kJoliet | kUdf,
         kVbeEntryDirectory,
         {"DOCS", "docs", "docs", "docs"},
         040755,
         {{kVbeTimeModified, 1}},
         [](const VbeEntryFacts& f) {
             EXPECT_EQ(f.firstBlock, 0u);
             EXPECT_EQ(f.firstBlocks[kVbeShownUdf], 0u);
         }},
        // Data held in the extended file entry, which records its creation
        // (make_udf.py: an hour before the modification).
        {"embedded.udf",
         "docs\\stamps",
         kUdf,
         kVbeEntryInline,
         {"", "", "", "stamps"},
         0100644,
         {{kVbeTimeModified, kModified},
          {kVbeTimeCreated, kModified - 3600},
          {kVbeTimeAccessed, kAccessed},
          {kVbeTimeAttributes, 1}},
         [&](const VbeEntryFacts& f) {
             EXPECT_GE(f.times[kVbeTimeAttributes], written);
             EXPECT_EQ(f.size, 6u);
             EXPECT_EQ(f.storedBytes, 6u);
             EXPECT_EQ(f.firstBlock, 0u);
             EXPECT_EQ(f.timesPresent & (1u << kVbeTimeRecorded), 0u);
         }},
        {"zisofs.iso",
         "z\\big.txt",
         kIso | kRock,
         kVbeEntryZisofs,
         {"BIG.TXT;1", "big.txt", "", ""},
         0100644,
         {{kVbeTimeModified, 1}},
         [&](const VbeEntryFacts& f) {
             EXPECT_EQ(f.size, text.size());
             EXPECT_GT(f.storedBytes, 0u);
             EXPECT_LT(f.storedBytes, text.size() / 2);
             EXPECT_EQ(f.zisofsBlockSize, 32768u);
             EXPECT_EQ(f.firstBlocks[kVbeShownIso9660], f.firstBlock);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " " + c.path);
        if (!zisofs && std::string(c.image) == "zisofs.iso")
            continue;
        vbe::Result result;
        const VbeEntryFacts f = entryFacts(dir / c.image, c.path, &result);
        ASSERT_EQ(result, vbe::kOk);
        EXPECT_EQ(f.trees, c.trees);
        EXPECT_EQ(f.flags, c.flags);
        for (std::size_t t = 0; t < 4; ++t)
            EXPECT_EQ(utf8(f.names[t]), c.names[t]) << t;
        if (c.unixMode) {
            EXPECT_EQ(f.unixMode, c.unixMode);
        }
        for (auto [which, value] : c.times) {
            EXPECT_TRUE(f.timesPresent & (1u << which)) << which;
            if (value != 1) {
                EXPECT_EQ(f.times[which], value) << which;
            }
        }
        if (c.more)
            c.more(f);
    }
    for (const char* missing : {"docs\\nope", "docs\\stamps\\x", "DOCS"}) {
        vbe::Result result;
        entryFacts(dir / "rr.iso", missing, &result);
        EXPECT_EQ(result, vbe::kPathNotFound) << missing;
    }
}

} // namespace
