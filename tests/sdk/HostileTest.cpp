// Damaged images: each a well-formed image with one fault patched in by
// make_hostile.py. Never a crash, hang or unbounded read: the scan fails with a
// negative result, or the bad entry is left out and the rest still reads.
#include "SdkSupport.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

const std::string kLongName = std::string("LONG") + std::string(190, 'N') + ".TXT";
const std::string kJolietCut =
    "a name that is longer than sixty-four characters, cut by joliet.txt";
const std::string kZText = [] {
    std::string text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "compressible line " + std::to_string(i) + "\n";
    return text;
}();

struct Outcome
{
    std::unique_ptr<Session> session;
    Listing listing;
    std::map<std::string, std::optional<std::string>> contents;
};

// The entries of the images, by letter: a file and its content, or a folder.
const std::map<char, std::pair<std::string, std::optional<std::string>>> kEntries = {
    {'A', {"A.TXT", "alpha\n"}},
    {'B', {"B.TXT", "beta\n"}},
    {'C', {"SUB/C.TXT", "gamma\n"}},
    {'D', {"SUB/DEEP/D.TXT", "delta\n"}},
    {'E', {"R/R/R/R/R/R/R/R/R/R/E.TXT", "epsilon\n"}},
    {'L', {kLongName, "long\n"}},
    {'J', {kJolietCut, "joliet\n"}},
    {'j', {kJolietCut.substr(0, 64), "joliet\n"}},
    {'Z', {"Z.TXT", kZText}},
    {'S', {"SUB", std::nullopt}},
    {'P', {"SUB/DEEP", std::nullopt}},
};

struct Case
{
    const char* kind; // make_hostile.py's; empty: the image as written
    const char* source;
    const char* reads;           // entries that are there and read whole; nullptr: the scan fails
    const char* unreadable = ""; // files listed whose reads fail
    const char* absent = "";     // entries left out
    std::size_t listed = 0;      // entries in all, when not 0
    std::function<void(Outcome&)> more = nullptr;
};

TEST(HostileImages, EachFaultCostsWhatItDamages)
{
    TempDir dir;
    const fs::path tree = dir / "tree";
    for (char e : std::string("ABCDEL"))
        writeFile(tree / kEntries.at(e).first, *kEntries.at(e).second);
    makeIso(dir, tree, "-R", "good.iso");
    writeFile(dir / "ztree/A.TXT", "alpha\n");
    writeFile(dir / "ztree/Z.TXT", kZText);
    makeImage("xorriso -outdev %O -map %T / -set_filter_r --zisofs / -- -commit", dir / "ztree",
              dir / "zisofs.iso");
    writeFile(tree / kJolietCut, "joliet\n");
    makeIso(dir, tree, "-R -J", "good-joliet.iso");
    // Opens, scans, lists and reads everything, within a second, with no
    // name that could not be shown or addressed.
    const auto exercise = [&dir](const Case& c) {
        fs::path image = dir / c.source;
        if (*c.kind) {
            image = dir / (std::string(c.kind) + "-" + c.source);
            EXPECT_EQ(run(std::string(kPython) + " " + quote(scriptDir() / "make_hostile.py") +
                          " " + c.kind + " " + quote(dir / c.source) + " " + quote(image)),
                      0);
        }
        const auto start = std::chrono::steady_clock::now();
        Outcome o;
        o.session = openImage(image);
        if (o.session->ok()) {
            o.listing = o.session->list();
            EXPECT_FALSE(o.listing.empty());
            for (const auto& [path, item] : o.listing) {
                EXPECT_FALSE(path.empty() || path.back() == '/') << path;
                for (unsigned char ch : path)
                    EXPECT_FALSE(ch < 0x20 || ch == '\\') << "bad name: " << path;
                // A "/" inside a name would show up as a path without its folder.
                auto slash = path.rfind('/');
                if (slash != std::string::npos) {
                    auto parent = o.listing.find(path.substr(0, slash));
                    EXPECT_TRUE(parent != o.listing.end() && parent->second.directory) << path;
                }
                if (!item.directory)
                    o.contents[path] = o.session->read(path, 1 << 20);
                // What the records of each entry say is read again for it.
                std::string backslashed = path;
                std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
                vbe::Result facts;
                entryFacts(image, backslashed, &facts);
                EXPECT_EQ(facts, vbe::kOk) << path;
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        return o;
    };
    const char* iso = "good.iso";
    const char* z = "zisofs.iso";
    const char* joliet = "good-joliet.iso";
    const auto realSize = [](Outcome& o) { EXPECT_EQ(o.listing["Z.TXT"].size, kZText.size()); };
    const Case cases[] = {
        {"", iso, "ABCDEL", "", "", 18},
        {"block_size_zero", iso, nullptr},
        {"root_size_zero", iso, nullptr},
        {"extent_beyond_end", iso, "BD", "A"},
        {"size_ffffffff", iso, "BD", "A"},
        {"truncated", iso, "S", "A"},
        // A file reads as much as the bad pointer's 50 blocks.
        {"overlapping_extents", iso, "AC", "", "", 0,
         [](Outcome& o) { EXPECT_EQ(o.contents["B.TXT"].value_or("").size(), 50u * 2048); }},
        {"folder_contains_itself", iso, "AC", "", "D"},
        {"folder_contains_root", iso, "AB", "", "C"},
        {"relocation_to_ancestor", iso, "AD"},
        {"continuation_loop", iso, "AD"},
        {"multi_extent_missing_last", iso, "ACP", "", "D"},
        {"empty_name", iso, "AC"},
        {"bad_names", iso, ""},
        // The records after the broken one in the same block are found again.
        {"short_record", iso, "BC", "", "A"},
        {"descriptor_loop", iso, "AC"},
        {"associated_file", iso, "A", "", "B", 17},
        // Damaged compressed data fails the file's reads; it keeps its size.
        {"", z, "AZ"},
        {"zisofs_corrupt_block", z, "A", "Z", "", 0, realSize},
        {"zisofs_bad_pointers", z, "A", "Z", "", 0, realSize},
        // A damaged Rock Ridge record costs only itself: the rest keeps its
        // Rock Ridge names.
        {"", joliet, "JL", "", "", 19},
        {"continuation_loop", joliet, "JD", "", "Lj", 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.source);
        Outcome o = exercise(c);
        if (!c.reads) {
            EXPECT_EQ(o.session->openResult, vbe::kOk);
            EXPECT_LT(o.session->scanResult, 0);
            continue;
        }
        ASSERT_TRUE(o.session->ok());
        for (const char* e = c.reads; *e; ++e) {
            const auto& [path, content] = kEntries.at(*e);
            ASSERT_TRUE(o.listing.count(path)) << "missing: " << path;
            EXPECT_EQ(o.listing[path].directory, !content) << path;
            if (content) {
                EXPECT_EQ(o.contents[path], content) << path;
            }
        }
        for (const char* e = c.unreadable; *e; ++e) {
            const std::string& path = kEntries.at(*e).first;
            ASSERT_TRUE(o.contents.count(path)) << "missing: " << path;
            EXPECT_FALSE(o.contents[path].has_value()) << path;
        }
        for (const char* e = c.absent; *e; ++e)
            EXPECT_FALSE(o.listing.count(kEntries.at(*e).first)) << kEntries.at(*e).first;
        if (c.listed) {
            EXPECT_EQ(o.listing.size(), c.listed);
        }
        if (c.more)
            c.more(o);
    }
}

TEST(Nesting, ThousandLevelsReadWithinASecond)
{
    TempDir dir;
    fs::path p = dir / "tree";
    std::string rel;
    for (int i = 0; i < 1000; ++i)
        rel += "d/";
    // Made relative to stay below the system's path length limit.
    fs::create_directories(p);
    ASSERT_EQ(
        run("cd " + quote(p) + " && mkdir -p " + rel + " && (echo bottom > " + rel + "f.txt)"), 0);
    const fs::path image = makeImage("xorriso -outdev %O -map %T / -commit", p, dir / "deep.iso");
    const auto start = std::chrono::steady_clock::now();
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    EXPECT_EQ(s->counts(), std::make_pair(1000u, 1u));
    EXPECT_EQ(s->read(rel + "f.txt"), "bottom\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

} // namespace
