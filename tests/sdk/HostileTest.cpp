// Damaged images: each a well-formed image with one fault patched in by
// make_hostile.py. Never a crash, hang or unbounded read: the scan fails with a
// negative result, or the bad entry is left out and the rest still reads.
#include "SdkSupport.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

const std::string kLongName = std::string("LONG") + std::string(190, 'N') + ".TXT";
const std::string kJolietCut =
    "a name that is longer than sixty-four characters, cut by joliet.txt";

class HostileImages : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        fs::path tree = *dir_ / "tree";
        writeFile(tree / "A.TXT", "alpha\n");
        writeFile(tree / "B.TXT", "beta\n");
        writeFile(tree / kLongName, "long\n");
        writeFile(tree / "SUB/C.TXT", "gamma\n");
        writeFile(tree / "SUB/DEEP/D.TXT", "delta\n");
        fs::path deep = tree;
        for (int i = 0; i < 10; ++i)
            deep /= "R";
        writeFile(deep / "E.TXT", "epsilon\n");
        ASSERT_EQ(run("genisoimage -R -o " + quote(*dir_ / "good.iso") + " " + quote(tree)), 0);
        std::string text;
        for (int i = 0; text.size() < 200000; ++i)
            text += "compressible line " + std::to_string(i) + "\n";
        writeFile(*dir_ / "ztree/A.TXT", "alpha\n");
        writeFile(*dir_ / "ztree/Z.TXT", text);
        ASSERT_EQ(run("xorriso -outdev " + quote(*dir_ / "zisofs.iso") + " -map " +
                      quote(*dir_ / "ztree") + " / -set_filter_r --zisofs / -- -commit"),
                  0);
        writeFile(tree / kJolietCut, "joliet\n");
        ASSERT_EQ(
            run("genisoimage -R -J -o " + quote(*dir_ / "good-joliet.iso") + " " + quote(tree)), 0);
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static fs::path make(const std::string& kind, const std::string& source = "good.iso")
    {
        fs::path out = *dir_ / (kind + "-" + source);
        EXPECT_EQ(run(std::string(kPython) + " " + quote(scriptDir() / "make_hostile.py") + " " +
                      kind + " " + quote(*dir_ / source) + " " + quote(out)),
                  0);
        return out;
    }

    struct Outcome
    {
        std::unique_ptr<Session> session;
        Listing listing;
        std::map<std::string, std::optional<std::string>> contents;
    };

    // Opens, scans, lists and reads everything, within a second, with no
    // name that could not be shown or addressed.
    static Outcome exercise(const fs::path& image)
    {
        auto start = std::chrono::steady_clock::now();
        Outcome o;
        o.session = openImage(image);
        if (o.session->ok()) {
            o.listing = o.session->list();
            for (const auto& [path, item] : o.listing) {
                for (unsigned char c : path)
                    EXPECT_FALSE(c < 0x20 || c == '\\') << "bad name: " << path;
                // A "/" inside a name would show up as a path without its folder.
                auto slash = path.rfind('/');
                if (slash != std::string::npos) {
                    auto parent = o.listing.find(path.substr(0, slash));
                    EXPECT_TRUE(parent != o.listing.end() && parent->second.directory) << path;
                }
                if (!item.directory)
                    o.contents[path] = o.session->read(path, 1 << 20);
            }
        }
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(1)) << image;
        return o;
    }
    static TempDir* dir_;
};
TempDir* HostileImages::dir_ = nullptr;

void expectIntact(HostileImages::Outcome& o, std::map<std::string, std::string> files)
{
    ASSERT_TRUE(o.session->ok());
    for (const auto& [path, content] : files) {
        ASSERT_TRUE(o.contents.count(path)) << "missing: " << path;
        EXPECT_EQ(o.contents[path], content) << path;
    }
}

TEST_F(HostileImages, WellFormedBaseReadsWhole)
{
    auto o = exercise(*dir_ / "good.iso");
    expectIntact(o, {{"A.TXT", "alpha\n"},
                     {"B.TXT", "beta\n"},
                     {kLongName, "long\n"},
                     {"SUB/C.TXT", "gamma\n"},
                     {"SUB/DEEP/D.TXT", "delta\n"},
                     {"R/R/R/R/R/R/R/R/R/R/E.TXT", "epsilon\n"}});
    EXPECT_EQ(o.listing.size(), 18u);
}

TEST_F(HostileImages, FaultsThatFailTheScan)
{
    for (const char* kind : {"block_size_zero", "root_size_zero"}) {
        auto o = exercise(make(kind));
        EXPECT_EQ(o.session->openResult, vbe::kOk) << kind;
        EXPECT_LT(o.session->scanResult, 0) << kind;
    }
}

TEST_F(HostileImages, DataBeyondTheEndFailsItsReadsOnly)
{
    for (const char* kind : {"extent_beyond_end", "size_ffffffff"}) {
        auto o = exercise(make(kind));
        expectIntact(o, {{"B.TXT", "beta\n"}, {"SUB/DEEP/D.TXT", "delta\n"}});
        ASSERT_TRUE(o.contents.count("A.TXT")) << kind;
        EXPECT_FALSE(o.contents["A.TXT"].has_value()) << kind;
    }
    auto o = exercise(make("truncated"));
    ASSERT_TRUE(o.session->ok());
    EXPECT_TRUE(o.listing.count("A.TXT"));
    EXPECT_TRUE(o.listing.count("SUB"));
    EXPECT_FALSE(o.contents["A.TXT"].has_value());
}

TEST_F(HostileImages, OverlappingExtentsReadWhatTheyPointAt)
{
    auto o = exercise(make("overlapping_extents"));
    expectIntact(o, {{"A.TXT", "alpha\n"}, {"SUB/C.TXT", "gamma\n"}});
    ASSERT_TRUE(o.contents["B.TXT"].has_value());
    EXPECT_EQ(o.contents["B.TXT"]->size(), 50u * 2048);
}

TEST_F(HostileImages, FolderLoopsAreLeftOut)
{
    auto self = exercise(make("folder_contains_itself"));
    expectIntact(self, {{"A.TXT", "alpha\n"}, {"SUB/C.TXT", "gamma\n"}});
    EXPECT_FALSE(self.listing.count("SUB/DEEP/D.TXT"));

    auto root = exercise(make("folder_contains_root"));
    expectIntact(root, {{"A.TXT", "alpha\n"}, {"B.TXT", "beta\n"}});
    EXPECT_FALSE(root.listing.count("SUB/C.TXT"));

    auto moved = exercise(make("relocation_to_ancestor"));
    expectIntact(moved, {{"A.TXT", "alpha\n"}, {"SUB/DEEP/D.TXT", "delta\n"}});
}

TEST_F(HostileImages, BrokenRecordsAndChainsLoseOnlyThemselves)
{
    auto loop = exercise(make("continuation_loop"));
    expectIntact(loop, {{"A.TXT", "alpha\n"}, {"SUB/DEEP/D.TXT", "delta\n"}});

    auto multi = exercise(make("multi_extent_missing_last"));
    expectIntact(multi, {{"A.TXT", "alpha\n"}, {"SUB/C.TXT", "gamma\n"}});
    EXPECT_FALSE(multi.listing.count("SUB/DEEP/D.TXT"));
    EXPECT_TRUE(multi.listing.count("SUB/DEEP"));

    auto empty = exercise(make("empty_name"));
    expectIntact(empty, {{"A.TXT", "alpha\n"}, {"SUB/C.TXT", "gamma\n"}});
    for (const auto& [path, item] : empty.listing)
        EXPECT_FALSE(path.empty() || path.back() == '/') << path;

    auto names = exercise(make("bad_names"));
    ASSERT_TRUE(names.session->ok());
    EXPECT_FALSE(names.listing.empty());

    // The records after the broken one in the same block are found again.
    auto shortRecord = exercise(make("short_record"));
    expectIntact(shortRecord, {{"B.TXT", "beta\n"}, {"SUB/C.TXT", "gamma\n"}});
    EXPECT_FALSE(shortRecord.listing.count("A.TXT"));

    auto descriptors = exercise(make("descriptor_loop"));
    expectIntact(descriptors, {{"A.TXT", "alpha\n"}, {"SUB/C.TXT", "gamma\n"}});
}

// Damaged compressed data fails the file's reads, never more than that.
TEST_F(HostileImages, DamagedZisofsFailsItsReads)
{
    auto good = exercise(*dir_ / "zisofs.iso");
    ASSERT_TRUE(good.contents["Z.TXT"].has_value());
    EXPECT_GT(good.contents["Z.TXT"]->size(), 200000u);
    for (const char* kind : {"zisofs_corrupt_block", "zisofs_bad_pointers"}) {
        auto o = exercise(make(kind, "zisofs.iso"));
        expectIntact(o, {{"A.TXT", "alpha\n"}});
        ASSERT_TRUE(o.contents.count("Z.TXT")) << kind;
        EXPECT_FALSE(o.contents["Z.TXT"].has_value()) << kind;
        EXPECT_EQ(o.listing["Z.TXT"].size, good.listing["Z.TXT"].size) << kind;
    }
}

TEST_F(HostileImages, AssociatedFilesAreNotShown)
{
    auto o = exercise(make("associated_file"));
    expectIntact(o, {{"A.TXT", "alpha\n"}});
    EXPECT_FALSE(o.listing.count("B.TXT"));
    EXPECT_EQ(o.listing.size(), 17u);
}

// A damaged Rock Ridge record costs that record only: the rest of the tree
// keeps its Rock Ridge names, neither Joliet's cut ones nor plain ISO 9660's.
TEST_F(HostileImages, DamagedRockRidgeRecordCostsOnlyItself)
{
    auto good = exercise(*dir_ / "good-joliet.iso");
    ASSERT_TRUE(good.session->ok());
    EXPECT_TRUE(good.listing.count(kJolietCut));
    EXPECT_TRUE(good.listing.count(kLongName));

    auto broken = exercise(make("continuation_loop", "good-joliet.iso"));
    ASSERT_TRUE(broken.session->ok());
    EXPECT_FALSE(broken.listing.count(kLongName));
    EXPECT_EQ(broken.contents[kJolietCut], "joliet\n");
    EXPECT_FALSE(broken.listing.count(kJolietCut.substr(0, 64)));
    EXPECT_EQ(broken.listing.size(), good.listing.size() - 1);
    EXPECT_EQ(broken.contents["SUB/DEEP/D.TXT"], "delta\n");
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
    fs::path image = dir / "deep.iso";
    ASSERT_EQ(run("xorriso -outdev " + quote(image) + " -map " + quote(p) + " / -commit"), 0);
    auto start = std::chrono::steady_clock::now();
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    EXPECT_EQ(s->counts(), std::make_pair(1000u, 1u));
    EXPECT_EQ(s->read(rel + "f.txt"), "bottom\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

} // namespace
