// Nero images beyond the container table's default form: the old footer and
// chunks, tracks written at once, images cut down by other tools, and
// damaged descriptions.
#include "Discs.h"
#include "Trees.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

const TreeOptions kTree = {
    .symlinks = false, .beyondBmp = true, .caseTwins = true, .longest = 255, .depth = 4};

fs::path makeIso(const fs::path& tree, const fs::path& out, const std::string& extra = "")
{
    EXPECT_EQ(run("genisoimage -quiet -R -J " + extra + " -o " + quote(out) + " " + quote(tree)),
              0);
    return out;
}

struct Form
{
    const char* name;
    const char* extra; // writer arguments
};

const Form kForms[] = {{"old", "--old"}, {"tao", "--tao"}, {"old_tao", "--old --tao"}};

class NrgForms : public ::testing::TestWithParam<Form>
{
protected:
    TempDir dir;
};

// Each data-track format beside audio tracks with stored pregaps, then two
// sessions of different formats.
TEST_P(NrgForms, TracksAndSessionsRead)
{
    writeRichTree(dir / "tree", kTree);
    const fs::path plain = makeIso(dir / "tree", dir / "plain.iso");
    for (const char* kind : {"2048", "2336", "mode1", "mode2form1"}) {
        SCOPED_TRACE(kind);
        const std::vector<DiscTrack> tracks = {dataTrack(kind, plain), audioTrack(75, 150),
                                               audioTrack(40, 30)};
        const fs::path image =
            writeDisc(dir.path(), "nrg", tracks, GetParam().extra, std::string(kind) + ".nrg");
        ASSERT_FALSE(image.empty());
        auto s = openImage(image);
        expectDisc(*s, dir / "tree", tracks);
    }
    writeFile(dir / "one/kept.txt", "first session\n");
    writeFile(dir / "one/replaced.txt", "old\n");
    const fs::path s1 = makeIso(dir / "one", dir / "s1.iso");
    const long next = long(fs::file_size(s1) / 2048) + 11400;
    writeFile(dir / "two/replaced.txt", "new and longer\n");
    const fs::path s2 =
        makeIso(dir / "two", dir / "s2.iso", "-M " + quote(s1) + " -C 0," + std::to_string(next));
    const std::vector<DiscTrack> tracks = {dataTrack("mode1", s1),
                                           dataTrack("mode2form1", s2, 2, next)};
    const fs::path image = writeDisc(dir.path(), "nrg", tracks, GetParam().extra);
    ASSERT_FALSE(image.empty());
    auto s = openImage(image);
    writeFile(dir / "want/kept.txt", "first session\n");
    writeFile(dir / "want/replaced.txt", "new and longer\n");
    expectSameTree(*s, dir / "want", false);
}

INSTANTIATE_TEST_SUITE_P(Nrg, NrgForms, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

// A 2048-byte track after Nero's usual 150-sector pregap, as nrg2iso and iat
// expect it: the NRG and what each tool cuts out of it read as the tree.
TEST(NrgConverters, AgreeWithTheTree)
{
    for (const char* tool : {"nrg2iso", "iat"})
        if (!haveTool(tool))
            GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    writeRichTree(dir / "tree", kTree);
    DiscTrack track = dataTrack("2048", makeIso(dir / "tree", dir / "plain.iso"), 1, 0);
    track.pregap = 150;
    for (const char* extra : {"", "--old"}) {
        SCOPED_TRACE(extra);
        const fs::path image = writeDisc(dir.path(), "nrg", {track}, extra);
        ASSERT_FALSE(image.empty());
        expectSameTree(*openImage(image), dir / "tree", false);
        for (const char* tool : {"nrg2iso", "iat"}) {
            SCOPED_TRACE(tool);
            const fs::path out = dir / (std::string(tool) + ".iso");
            fs::remove(out);
            ASSERT_EQ(
                run(std::string(tool) + " " + quote(image) + " " + quote(out) + " >/dev/null 2>&1"),
                0);
            expectSameTree(*openImage(out), dir / "tree", false);
        }
    }
}

struct Damage
{
    const char* kind; // make_nrg.py --hostile; empty: the image as written
    vbe::Result result;
};

// A footer that points past the end or into itself is no NRG footer (what
// nrg2iso leaves): the audio before it is no image either.
const Damage kDamages[] = {
    {"", vbe::kOk},
    {"past_end", vbe::kUnrecognized},
    {"into_footer", vbe::kUnrecognized},
    {"chunk_overflow", vbe::kCorrupt},
    {"no_end", vbe::kCorrupt},
    {"many_tracks", vbe::kCorrupt},
    {"track_past_file", vbe::kCorrupt},
};

TEST(NrgHostile, DamagedDescriptionsFailCleanly)
{
    TempDir dir;
    const std::vector<DiscTrack> tracks = {audioTrack(20), audioTrack(10, 5)};
    for (const Damage& d : kDamages)
        for (const char* form : {"", "--old", "--tao"}) {
            SCOPED_TRACE(std::string(d.kind) + " " + form);
            const std::string extra = std::string(form) + (*d.kind ? " --hostile " : "") + d.kind;
            const fs::path image = writeDisc(dir.path(), "nrg", tracks, extra);
            ASSERT_FALSE(image.empty());
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(openImage(image)->openResult, d.result);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        }
}

} // namespace
