// Media descriptor (MDS/MDF) and CloneCD images: the sectors other tools
// convert from our writers' files, the ways a descriptor names its files,
// and descriptors that must fail fast with a reason.
#include "Discs.h"
#include "VbeFacts.h"

#include <chrono>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

class Descriptors : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        writeFile(*dir_ / "tree/readme.txt", "read me\n");
        writeFile(*dir_ / "tree/sub/café.dat", std::string(70000, 'c'));
        ASSERT_EQ(run("genisoimage -quiet -R -J -o " + quote(*dir_ / "plain.iso") + " " +
                      quote(*dir_ / "tree")),
                  0);
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static VbeImageFacts facts(const fs::path& image, vbe::Result* result)
    {
        static auto read = reinterpret_cast<VbeReadImageFactsFn>(
            dlsym(dlopen(LANTERN_VBE_MODULE, RTLD_NOW | RTLD_LOCAL), "VbeReadImageFacts"));
        VbeImageFacts f{};
        f.structSize = sizeof f;
        *result = read(utf16(image.string()).c_str(), &f);
        return f;
    }
    static TempDir* dir_;
};
TempDir* Descriptors::dir_ = nullptr;

struct Conversion
{
    const char* format;
    const char* kind;
    const char* tool;    // converts the sectors file named first into the ISO named second
    const char* sectors; // the extension of the sectors file
};

// The tools read the MDF or .img alone; what they make of it must hold the
// tree, as our image does. (mdf2iso takes 2048-byte sectors for an ISO
// already, knows no 2448-byte ones and cuts mode 2 sectors as mode 1.)
const Conversion kConversions[] = {
    {"mds", "mode1", "mdf2iso", "mdf"},      {"mds", "2048", "iat", "mdf"},
    {"mds", "mode1", "iat", "mdf"},          {"mds", "mode1sub", "iat", "mdf"},
    {"mds", "mode2form1", "iat", "mdf"},     {"ccd", "mode1", "ccd2iso", "img"},
    {"ccd", "mode2form1", "ccd2iso", "img"}, {"ccd", "mode1", "iat", "img"},
    {"ccd", "mode2form1", "iat", "img"},
};

TEST_F(Descriptors, SectorsAreThoseOtherToolsConvert)
{
    std::string missing;
    for (const Conversion& c : kConversions) {
        SCOPED_TRACE(std::string(c.format) + " " + c.kind + " by " + c.tool);
        if (!haveTool(c.tool)) {
            missing += std::string(" ") + c.tool;
            continue;
        }
        TempDir work;
        const fs::path image =
            writeDisc(work.path(), c.format, {dataTrack(c.kind, *dir_ / "plain.iso")});
        ASSERT_FALSE(image.empty());
        const fs::path converted = work / "converted.iso";
        ASSERT_EQ(run(std::string(c.tool) + " " + quote(work / ("disc." + std::string(c.sectors))) +
                      " " + quote(converted) + " >/dev/null 2>&1"),
                  0);
        expectSameTree(*openImage(converted), *dir_ / "tree", false);
        expectSameTree(*openImage(image), *dir_ / "tree", false);
    }
    if (!missing.empty())
        GTEST_SKIP() << "not installed:" << missing;
}

struct Variant
{
    const char* format;
    const char* extra; // the writer's options
    const char* open;  // the file opened
};

// A mode 2 track and an audio track, however the descriptor names its
// files or modes: the MDF by another name, in 8 or 16-bit characters, the
// MDF opened for its descriptor, and a CloneCD file without [TRACK]
// sections, whose data track's mode is only in its sectors.
const Variant kVariants[] = {
    {"mds", "", "disc.mds"},
    {"mds", "--name data.bin", "disc.mds"},
    {"mds", "--name data.bin --wide", "disc.mds"},
    {"mds", "", "disc.mdf"},
    {"ccd", "", "disc.ccd"},
    {"ccd", "--bare", "disc.ccd"},
};

TEST_F(Descriptors, WaysOfNamingFilesAndModesReadAlike)
{
    const std::vector<DiscTrack> tracks = {dataTrack("mode2form1", *dir_ / "plain.iso"),
                                           audioTrack(75)};
    const std::uint32_t data = std::uint32_t(fs::file_size(*dir_ / "plain.iso") / 2048);
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(std::string(v.format) + " " + v.extra + " " + v.open);
        TempDir work;
        ASSERT_FALSE(writeDisc(work.path(), v.format, tracks, v.extra).empty());
        vbe::Result result;
        const VbeImageFacts f = facts(work / v.open, &result);
        ASSERT_EQ(result, vbe::kOk) << utf8(f.firstDamage);
        EXPECT_STREQ(f.container, v.format);
        ASSERT_EQ(f.trackCount, 2u);
        EXPECT_STREQ(f.tracks[0].mode, "MODE2/2352");
        EXPECT_EQ(f.tracks[1].startLba, data);
        EXPECT_EQ(f.tracks[1].sectors, 75u);
        auto s = openImage(work / v.open);
        expectDisc(*s, *dir_ / "tree", tracks);
    }
}

struct Hostile
{
    const char* format;
    const char* extra; // the writer's options
    vbe::Result result;
    const char* says; // part of the reason given
};

// Descriptors with one fault each, beside a data track and an audio track:
// they fail within a second, with the right result and a reason.
const Hostile kHostile[] = {
    {"mds", "--break sessions", vbe::kCorrupt, "60000 sessions"},
    {"mds", "--break tracks", vbe::kCorrupt, "more than 99 tracks"},
    {"mds", "--break offsets", vbe::kCorrupt, "beyond the end of the MDS file"},
    {"mds", "--break extra", vbe::kCorrupt, "Track 1 has no length"},
    {"mds", "--break past_mdf", vbe::kCorrupt, "Track 1 has 1000000000 sectors"},
    {"mds", "--break missing", vbe::kFileNotFound, "\"disc.mdf\" is not there"},
    {"mds", "--name ../x.mdf", vbe::kCorrupt, "leaves its folder"},
    {"ccd", "--break entries", vbe::kCorrupt, "more"},
    {"ccd", "--break missing", vbe::kFileNotFound, "\"disc.img\" is not there"},
    {"ccd", "--break short", vbe::kCorrupt, "Track 2 starts beyond the end of \"disc.img\""},
};

TEST_F(Descriptors, HostileDescriptorsFailWithAReason)
{
    const std::vector<DiscTrack> tracks = {dataTrack("mode1", *dir_ / "plain.iso"), audioTrack(75)};
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(std::string(h.format) + " " + h.extra);
        TempDir work;
        // In a folder of its own, so that "../x.mdf" is there to be refused.
        const fs::path image = writeDisc(work / "in", h.format, tracks, h.extra);
        ASSERT_FALSE(image.empty());
        const auto start = std::chrono::steady_clock::now();
        vbe::Result result;
        const VbeImageFacts f = facts(image, &result);
        EXPECT_EQ(result, h.result);
        EXPECT_NE(utf8(f.firstDamage).find(h.says), std::string::npos) << utf8(f.firstDamage);
        EXPECT_EQ(openImage(image)->openResult, h.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

} // namespace
