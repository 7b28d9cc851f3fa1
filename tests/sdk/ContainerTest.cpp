// Described discs of every container, written by make_<format>.py around ISO
// images; compressed ISO images; descriptions that must fail fast.
#include "Discs.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

struct Container
{
    const char* name;
    const char* format;
    const char* extra;              // writer arguments
    std::vector<const char*> kinds; // data-track sector formats it stores
    bool sessions;                  // can describe more than one session
};

const Container kContainers[] = {
    {"cue", "cue", "", {"2048", "mode1", "2336", "mode2form1"}, false},
    {"nrg", "nrg", "", {"2048", "2336", "mode1", "mode2form1"}, true},
    {"nrg_old", "nrg", "--old", {"2048", "2336", "mode1", "mode2form1"}, true},
    {"nrg_tao", "nrg", "--tao", {"2048", "2336", "mode1", "mode2form1"}, true},
    {"nrg_old_tao", "nrg", "--old --tao", {"2048", "2336", "mode1", "mode2form1"}, true},
    {"mds", "mds", "", {"2048", "mode1", "mode2form1", "mode1sub"}, true},
    {"ccd", "ccd", "", {"mode1", "mode2form1"}, true},
};

class Containers : public ::testing::TestWithParam<Container>
{
protected:
    TempDir dir;
};

// Each data-track format, then two audio tracks, the second with a stored
// pregap that the first one's WAV file ends with.
TEST_P(Containers, DataTrackOfEachSectorSizeAndAudioTracks)
{
    const Container& c = GetParam();
    writeRichTree(dir / "tree", {.symlinks = false, .depth = 4});
    const fs::path plain = makeIso(dir, dir / "tree", "-R -J");
    for (const char* kind : c.kinds) {
        SCOPED_TRACE(kind);
        const std::vector<DiscTrack> tracks = {dataTrack(kind, plain), audioTrack(75, 150),
                                               audioTrack(40, 30)};
        const fs::path image = writeDisc(dir.path(), c.format, tracks, c.extra,
                                         std::string("disc-") + kind + "." + c.format);
        expectDisc(*openImage(image), dir / "tree", tracks);
    }
}

// Two sessions of different sector formats: the last is shown.
TEST_P(Containers, LastOfTwoSessionsIsShown)
{
    const Container& c = GetParam();
    if (!c.sessions)
        GTEST_SKIP() << "one session only";
    writeFile(dir / "one/kept.txt", "from the first session\n");
    writeFile(dir / "one/replaced.txt", "old\n");
    const fs::path s1 = makeIso(dir, dir / "one", "-R -J");
    // After the first one's lead-out and the second's lead-in.
    const long next = long(fs::file_size(s1) / 2048) + 11400;
    writeFile(dir / "two/added.txt", "from the second session\n");
    writeFile(dir / "two/replaced.txt", "new and longer\n");
    const fs::path s2 =
        makeIso(dir, dir / "two", "-R -J -M " + quote(s1) + " -C 0," + std::to_string(next));
    auto s = openImage(writeDisc(
        dir.path(), c.format,
        {dataTrack(c.kinds.front(), s1), dataTrack(c.kinds.back(), s2, 2, next)}, c.extra));
    fs::copy(dir / "two", dir / "want");
    writeFile(dir / "want/kept.txt", "from the first session\n");
    expectSameTree(*s, dir / "want", false);
}

// Audio alone, or beside a data track with no sound file system, is the audio
// folder; the second says why.
TEST_P(Containers, AudioAloneOrBesideABadDataTrackOpensWithItsFolder)
{
    const Container& c = GetParam();
    const std::vector<DiscTrack> tracks = {audioTrack(20), audioTrack(10, 5), audioTrack(30, 150)};
    expectDisc(*openImage(writeDisc(dir.path(), c.format, tracks, c.extra)), dir / "none", tracks);
    std::string iso = readHostFile(smallDisc() / "plain.iso");
    iso.replace(16 * 2048 + 128, 4, 4, '\0');
    writeFile(dir / "bad.iso", iso);
    const std::vector<DiscTrack> beside = {dataTrack(c.kinds.front(), dir / "bad.iso"),
                                           audioTrack(30)};
    const fs::path image =
        writeDisc(dir.path(), c.format, beside, c.extra, "bad." + std::string(c.format));
    vbe::Result result;
    EXPECT_EQ(utf8(facts(image, &result).firstDamage),
              "the data track holds no file system that can be read");
    expectDisc(*openImage(image), dir / "none", beside);
}

INSTANTIATE_TEST_SUITE_P(Formats, Containers, ::testing::ValuesIn(kContainers),
                         [](const auto& info) { return std::string(info.param.name); });

struct Variant
{
    const char* what;
    const char* format;
    const char* extra; // the writer's options
    const char* name;  // of the written description; "": disc.<format>
    const char* open;  // the file opened; "": the description
    const char* kind;  // of the data track
    void (*edit)(const fs::path& written) = nullptr;
};

// However the description is written, the same tree, WAV files and addresses.
const Variant kVariants[] = {
    {"cue", "cue", "", "", "", "mode1"},
    {"CRLF", "cue", "--crlf", "", "", "mode1"},
    {"Latin-1 name", "cue", "--latin1", "", "", "mode1"},
    {"a FILE per track", "cue", "--split", "", "", "mode1"},
    {"unquoted names with spaces", "cue", "--split --no-quote", "", "", "mode1"},
    {"MOTOROLA audio", "cue", "--motorola", "", "", "mode1"},
    {"PREGAP", "cue", "--pregap-command", "", "", "mode1"},
    {"sheet named .txt", "cue", "", "disc.txt", "", "mode1"},
    {"sheet named .iso", "cue", "", "disc.iso", "", "mode1"},
    {"BIN in another case", "cue", "", "", "", "mode1",
     [](const fs::path& p) {
         fs::rename(p.parent_path() / "disc.bin", p.parent_path() / "DISC.BIN");
     }},
    {"lower-case keywords", "cue", "", "", "", "mode1",
     [](const fs::path& p) {
         std::string text = readHostFile(p);
         std::transform(text.begin(), text.end(), text.begin(), ::tolower);
         writeFile(p, text);
     }},
    {"BOM, REM and TITLE", "cue", "", "", "", "mode1",
     [](const fs::path& p) {
         writeFile(p, "\xEF\xBB\xBFREM GENRE Test\r\nREM COMMENT \"by hand\"\nTITLE \"Disc\"\n" +
                          readHostFile(p));
     }},
    // The sectors opened on their own are read through the description beside.
    {"mds", "mds", "", "", "", "mode2form1"},
    {"MDF named data.bin", "mds", "--name data.bin", "", "", "mode2form1"},
    {"16-bit file name", "mds", "--name data.bin --wide", "", "", "mode2form1"},
    {"MDF opened", "mds", "", "", "disc.mdf", "mode2form1"},
    {"BIN opened", "cue", "", "", "disc.bin", "mode1"},
    {"IMG opened", "ccd", "", "", "disc.img", "mode2form1"},
    {"ccd", "ccd", "", "", "", "mode2form1"},
    {"no [TRACK] sections", "ccd", "--bare", "", "", "mode2form1"},
};

TEST(DescribedDiscs, WaysOfWritingADescriptionReadAlike)
{
    const std::uint32_t data = std::uint32_t(fs::file_size(smallDisc() / "plain.iso") / 2048);
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.what);
        // Without [TRACK] sections a CloneCD file records no indexes: no pregaps.
        const unsigned gap = std::string(v.extra) == "--bare" ? 0 : 1;
        const std::vector<DiscTrack> tracks = {dataTrack(v.kind, smallDisc() / "plain.iso"),
                                               audioTrack(75, 150 * gap), audioTrack(40, 30 * gap)};
        const std::uint32_t starts[] = {0, data + 150 * gap, data + 150 * gap + 75 + 30 * gap};
        const std::uint32_t sectors[] = {data, 75, 40};
        TempDir work;
        fs::path image = writeDisc(work.path(), v.format, tracks, v.extra, v.name);
        if (v.edit)
            v.edit(image);
        if (*v.open)
            image = work / v.open;
        vbe::Result result;
        const VbeImageFacts f = facts(image, &result);
        ASSERT_EQ(result, vbe::kOk) << utf8(f.firstDamage);
        EXPECT_STREQ(f.container, v.format);
        ASSERT_EQ(f.trackCount, 3u);
        for (unsigned i = 0; i < 3; ++i) {
            EXPECT_EQ(f.tracks[i].startLba, starts[i]) << i;
            EXPECT_EQ(f.tracks[i].sectors, sectors[i]) << i;
        }
        EXPECT_STREQ(f.tracks[0].mode,
                     std::string(v.kind) == "mode1" ? "MODE1/2352" : "MODE2/2352");
        std::vector<DiscTrack> shown = tracks;
        if (std::string(v.extra) == "--pregap-command")
            for (DiscTrack& t : shown)
                t.pregap = 0;
        expectDisc(*openImage(image), smallDisc() / "tree", shown);
    }
}

// bchunk cuts a sheet's 2352-byte tracks into an ISO and WAV files; ours must
// hold the same. It ends a track at the next INDEX 00, so no pregaps here.
TEST(OtherTools, BchunkCutsTheTracksOfASheet)
{
    if (!haveTool("bchunk"))
        GTEST_SKIP() << "bchunk is not installed";
    TempDir work;
    for (const char* kind : {"mode1", "mode2form1"}) {
        SCOPED_TRACE(kind);
        const std::vector<DiscTrack> tracks = {dataTrack(kind, smallDisc() / "plain.iso"),
                                               audioTrack(75), audioTrack(40)};
        const fs::path cue = writeDisc(work.path(), "cue", tracks);
        const fs::path cut = work / kind;
        ASSERT_EQ(
            run("bchunk -w " + quote(work / "disc.bin") + " " + quote(cue) + " " + quote(cut)), 0);
        const fs::path want = work / (std::string(kind) + ".tree");
        fs::copy(smallDisc() / "tree", want, fs::copy_options::recursive);
        fs::create_directory(want / "[AUDIO]");
        for (const char* n : {"02", "03"})
            fs::copy(cut.string() + n + ".wav",
                     want / "[AUDIO]" / ("Track " + std::string(n) + ".wav"));
        expectSameTree(*openImage(cue), want, false);
    }
}

// Other tools convert the sectors alone into an ISO holding our image's tree:
// the container, its writer's options, the data track's kind, the tool.
const std::tuple<const char*, const char*, const char*, const char*> kConversions[] = {
    {"mds", "", "mode1", "mdf2iso"},      {"mds", "", "2048", "iat"},
    {"mds", "", "mode1", "iat"},          {"mds", "", "mode1sub", "iat"},
    {"mds", "", "mode2form1", "iat"},     {"ccd", "", "mode1", "ccd2iso"},
    {"ccd", "", "mode2form1", "ccd2iso"}, {"ccd", "", "mode1", "iat"},
    {"ccd", "", "mode2form1", "iat"},     {"nrg", "", "2048", "nrg2iso"},
    {"nrg", "--old", "2048", "nrg2iso"},  {"nrg", "", "2048", "iat"},
    {"nrg", "--old", "2048", "iat"},
};

TEST(OtherTools, ConvertTheSectorsOfOurImagesIntoTheTree)
{
    std::string missing;
    for (const auto& [format, extra, kind, tool] : kConversions) {
        SCOPED_TRACE(std::string(format) + " " + extra + " " + kind + " by " + tool);
        if (!haveTool(tool)) {
            missing += std::string(" ") + tool;
            continue;
        }
        TempDir work;
        DiscTrack track = dataTrack(kind, smallDisc() / "plain.iso");
        if (std::string(format) == "nrg") {
            track.lba = 0;
            track.pregap = 150;
        }
        const fs::path image = writeDisc(work.path(), format, {track}, extra);
        const std::string sectors = std::string(format) == "mds"   ? "disc.mdf"
                                    : std::string(format) == "ccd" ? "disc.img"
                                                                   : "disc.nrg";
        const fs::path converted = work / "converted.iso";
        ASSERT_EQ(run(std::string(tool) + " " + quote(work / sectors) + " " + quote(converted)), 0);
        expectSameTree(*openImage(converted), smallDisc() / "tree", false);
        expectSameTree(*openImage(image), smallDisc() / "tree", false);
    }
    if (!missing.empty())
        GTEST_SKIP() << "not installed:" << missing;
}

// One fault each (Nero's in each of its forms): the container, its writer's
// options, the result and part of the reason.
const std::tuple<const char*, const char*, vbe::Result, const char*> kHostile[] = {
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
    {"nrg", "--hostile past_end", vbe::kUnrecognized, ""},
    {"nrg", "--hostile into_footer", vbe::kUnrecognized, ""},
    {"nrg", "--hostile chunk_overflow", vbe::kCorrupt, ""},
    {"nrg", "--hostile no_end", vbe::kCorrupt, ""},
    {"nrg", "--hostile many_tracks", vbe::kCorrupt, ""},
    {"nrg", "--hostile track_past_file", vbe::kCorrupt, ""},
};

TEST(DescribedDiscs, HostileDescriptionsFailWithAReason)
{
    const std::vector<DiscTrack> data = {dataTrack("mode1", smallDisc() / "plain.iso"),
                                         audioTrack(75)};
    const std::vector<DiscTrack> audio = {audioTrack(20), audioTrack(10, 5)};
    for (const auto& [format, extra, result, says] : kHostile) {
        const bool nrg = std::string(format) == "nrg";
        for (const char* form : nrg ? std::vector{"", "--old ", "--tao "} : std::vector{""}) {
            SCOPED_TRACE(std::string(format) + " " + form + extra);
            TempDir work;
            // In a folder of its own, so that "../x.mdf" is there to be refused.
            expectFailsFast(
                writeDisc(work / "in", format, nrg ? audio : data, std::string(form) + extra),
                result, says);
        }
    }
}

std::string sheetOf(const std::string& name, const char* type = "BINARY")
{
    return "FILE \"" + name + "\" " + type + "\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
}

// Sheets beside a good BIN (a MODE1/2352 track and 75 sectors of audio).
TEST(DescribedDiscs, HostileSheetsFailWithAReason)
{
    TempDir work;
    writeDisc(work.path(), "cue", {dataTrack("mode1", smallDisc() / "plain.iso"), audioTrack(75)});
    writeFile(work / "disc.wav", "RIFF");
    const std::string track = "FILE \"disc.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:01:00\n";
    std::string many = "FILE \"disc.bin\" BINARY\n";
    for (int i = 0; i < 10000; ++i)
        many += "TRACK " + std::to_string(i % 99 + 1) + " AUDIO\nINDEX 01 00:00:00\n";
    const std::tuple<const char*, std::string, vbe::Result, const char*> sheets[] = {
        {"10,000 tracks", many, vbe::kCorrupt, "more than 99 tracks"},
        {"FILE missing", sheetOf("gone.bin"), vbe::kFileNotFound, "“gone.bin”"},
        {"FILE absolute", sheetOf((work / "disc.bin").string()), vbe::kCorrupt,
         "leaves its folder"},
        {"FILE climbing", sheetOf("../disc.bin"), vbe::kCorrupt, "leaves its folder"},
        {"INDEX backwards", track + "TRACK 02 AUDIO\nINDEX 01 00:00:30\n", vbe::kCorrupt,
         "backwards"},
        {"INDEX beyond the BIN", track + "TRACK 02 AUDIO\nINDEX 01 90:00:00\n", vbe::kCorrupt,
         "beyond the end"},
        {"WAVE file", sheetOf("disc.wav", "WAVE"), vbe::kCorrupt,
         "Track 01 is stored in a WAVE file"},
        {"text, not a sheet", "Dear reader,\nFILE this away.\n", vbe::kUnrecognized, ""},
    };
    for (const auto& [what, sheet, result, says] : sheets) {
        SCOPED_TRACE(what);
        const bool climbs = sheet.find("../") != std::string::npos;
        const fs::path at = work / (climbs ? "sub/hostile.cue" : "hostile.cue");
        writeFile(at, sheet);
        expectFailsFast(at, result, says);
    }
}

// make_cso.py's arguments, the file written.
const std::pair<const char*, const char*> kCompressed[] = {
    {"--version 1 --store-every 9 --header-size 0", "disc.cso"},
    {"--version 2 --align 4 --store-every 9", "disc.cso"},
    {"--zso --align 2 --store-every 9", "disc.zso"},
    {"--version 2 --block 16384", "disc.cso"},
    {"--version 1", "disc.iso"},
};

// CSO versions 1 and 2 and ZSO read as the ISO they hold, also in steps that
// cut blocks anywhere.
TEST(CompressedIso, ReadsAsTheIsoItHolds)
{
    if (!haveTool("lz4"))
        GTEST_SKIP() << "lz4 is not installed";
    TempDir dir;
    writeRichTree(dir / "tree", {.symlinks = false});
    const fs::path iso = makeIso(dir, dir / "tree", "-R -J");
    for (const auto& [args, file] : kCompressed) {
        SCOPED_TRACE(args);
        auto s = openImage(writeDisc(dir.path(), "cso", {dataTrack("2048", iso)}, args, file));
        expectSameTree(*s, dir / "tree");
        EXPECT_EQ(s->read("data/random.bin", 3001), readHostFile(dir / "tree/data/random.bin"));
    }
}

// A damaged index fails the image at once; a damaged block loses its file only.
TEST(CompressedIsoDamage, FailsAtOnceOrLosesOnlyTheDamagedBlock)
{
    if (!haveTool("lz4"))
        GTEST_SKIP() << "lz4 is not installed";
    const std::tuple<const char*, const char*, bool> kFaults[] = {
        // make_cso.py --fault, its other arguments, whether the image opens
        {"descending", "--version 1", false},
        {"past_end", "--version 2", false},
        {"huge_total", "--zso", false},
        {"block_zero", "--version 1", false},
        {"block_3000", "--version 2", false},
        {"overflow", "--version 1", true},
        {"lz4_before_start", "--zso", true},
        {"lz4_offset_zero", "--zso", true},
        {"lz4_literals_past_input", "--zso", true},
        {"lz4_match_past_block", "--zso", true},
    };
    TempDir dir;
    writeFile(dir / "tree/a.txt", "alpha\n");
    writeFile(dir / "tree/target.txt", "HOSTILE-BLOCK-MARKER\n");
    writeFile(dir / "tree/z.txt", "omega\n");
    const fs::path iso = makeIso(dir, dir / "tree", "-R");
    for (const auto& [fault, args, opens] : kFaults) {
        SCOPED_TRACE(fault);
        const fs::path image =
            writeDisc(dir.path(), "cso", {dataTrack("2048", iso)},
                      std::string(args) + " --fault " + fault, fault + std::string(".cso"));
        if (!opens) {
            expectFailsFast(image, vbe::kCorrupt);
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        auto s = openImage(image);
        ASSERT_TRUE(s->ok());
        EXPECT_EQ(s->read("target.txt"), std::nullopt);
        EXPECT_EQ(s->read("a.txt"), "alpha\n");
        EXPECT_EQ(s->read("z.txt"), "omega\n");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

} // namespace
