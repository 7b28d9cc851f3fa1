// Described discs of every container the module reads, written by the
// project's own writers around ISO images of trees the tests write: a data
// track in each sector size beside audio tracks, two sessions, audio alone.
#include "Discs.h"
#include "Trees.h"

#include <gtest/gtest.h>

using namespace sdktest;

namespace {

struct Container
{
    const char* format;
    const char* extra;              // writer arguments
    std::vector<const char*> kinds; // data-track sector formats it stores
    bool sessions;                  // can describe more than one session
};

const Container kContainers[] = {
    {"cue", "", {"2048", "mode1", "2336", "mode2form1"}, false},
    {"nrg", "", {"2048", "2336", "mode1", "mode2form1"}, true},
    {"mds", "", {"2048", "mode1", "mode2form1", "mode1sub"}, true},
    {"ccd", "", {"mode1", "mode2form1"}, true},
};

class Containers : public ::testing::TestWithParam<Container>
{
protected:
    fs::path iso(const fs::path& tree, const std::string& name)
    {
        const fs::path out = dir / name;
        EXPECT_EQ(run("genisoimage -quiet -R -J -o " + quote(out) + " " + quote(tree)), 0);
        return out;
    }
    TempDir dir;
};

// Each data-track format, then two audio tracks, the second with a stored
// pregap that the first one's WAV file ends with.
TEST_P(Containers, DataTrackOfEachSectorSizeAndAudioTracks)
{
    writeRichTree(
        dir / "tree",
        {.symlinks = false, .beyondBmp = true, .caseTwins = true, .longest = 255, .depth = 4});
    const fs::path plain = iso(dir / "tree", "plain.iso");
    for (const char* kind : GetParam().kinds) {
        SCOPED_TRACE(kind);
        const std::vector<DiscTrack> tracks = {
            dataTrack(kind, plain),
            audioTrack(75, 150),
            audioTrack(40, 30),
        };
        const fs::path image = writeDisc(dir.path(), GetParam().format, tracks, GetParam().extra,
                                         std::string("disc-") + kind + "." + GetParam().format);
        ASSERT_FALSE(image.empty());
        auto s = openImage(image);
        expectDisc(*s, dir / "tree", tracks);
    }
}

TEST_P(Containers, LastOfTwoSessionsIsShown)
{
    if (!GetParam().sessions)
        GTEST_SKIP() << "one session only";
    writeFile(dir / "one/kept.txt", "from the first session\n");
    writeFile(dir / "one/replaced.txt", "old\n");
    const fs::path s1 = iso(dir / "one", "s1.iso");
    // The second session starts after the first one's lead-out and the
    // second's lead-in, as a recorder leaves them.
    const long next = long(fs::file_size(s1) / 2048) + 11400;
    writeFile(dir / "two/added.txt", "from the second session\n");
    writeFile(dir / "two/replaced.txt", "new and longer\n");
    const fs::path s2 = dir / "s2.iso";
    ASSERT_EQ(run("genisoimage -quiet -R -J -M " + quote(s1) + " -C 0," + std::to_string(next) +
                  " -o " + quote(s2) + " " + quote(dir / "two")),
              0);
    const char* kind = GetParam().kinds.back();
    const std::vector<DiscTrack> tracks = {
        dataTrack(kind, s1),
        dataTrack(kind, s2, 2, next),
    };
    const fs::path image = writeDisc(dir.path(), GetParam().format, tracks, GetParam().extra);
    ASSERT_FALSE(image.empty());
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    writeFile(dir / "want/kept.txt", "from the first session\n");
    writeFile(dir / "want/added.txt", "from the second session\n");
    writeFile(dir / "want/replaced.txt", "new and longer\n");
    expectSameTree(*s, dir / "want", false);
}

TEST_P(Containers, AudioAloneOpensWithItsFolder)
{
    const std::vector<DiscTrack> tracks = {
        audioTrack(20),
        audioTrack(10, 5),
        audioTrack(30, 150),
    };
    const fs::path image = writeDisc(dir.path(), GetParam().format, tracks, GetParam().extra);
    ASSERT_FALSE(image.empty());
    auto s = openImage(image);
    expectDisc(*s, dir / "none", tracks);
}

// The sectors opened on their own, as a user double-clicks the big file:
// the description of the same name beside them is read, audio included.
TEST(DescribedDiscs, SectorFilesOpenThroughTheirDescription)
{
    const std::pair<const char*, const char*> kinds[] = {
        {"cue", ".bin"}, {"ccd", ".img"}, {"mds", ".mdf"}};
    TempDir dir;
    writeFile(dir / "tree/readme.txt", "hello\n");
    ASSERT_EQ(
        run("genisoimage -quiet -R -o " + quote(dir / "plain.iso") + " " + quote(dir / "tree")), 0);
    const std::vector<DiscTrack> tracks = {dataTrack("mode1", dir / "plain.iso"),
                                           audioTrack(30, 10)};
    for (const auto& [format, sectors] : kinds) {
        SCOPED_TRACE(format);
        const fs::path image = writeDisc(dir.path(), format, tracks);
        ASSERT_FALSE(image.empty());
        auto s = openImage(fs::path(image).replace_extension(sectors));
        expectDisc(*s, dir / "tree", tracks);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Containers, ::testing::ValuesIn(kContainers),
                         [](const auto& info) { return std::string(info.param.format); });

} // namespace
