// Cue sheets: the tracks bchunk cuts from a sheet, the ways sheets are
// written that must all read alike, and sheets that must fail with a reason.
#include "Discs.h"
#include "VbeFacts.h"

#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

class CueSheets : public ::testing::Test
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

    // What the module makes of the image: its result, the tracks and why it
    // failed.
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
TempDir* CueSheets::dir_ = nullptr;

// bchunk cuts the tracks of a sheet of 2352-byte sectors (it reads no
// other data modes right) into an ISO and WAV files; ours must hold the
// same. It ends a track at the next INDEX 00, so no pregaps here.
TEST_F(CueSheets, TracksAreThoseBchunkCuts)
{
    if (!haveTool("bchunk"))
        GTEST_SKIP() << "bchunk is not installed";
    TempDir work;
    for (const char* kind : {"mode1", "mode2form1"}) {
        SCOPED_TRACE(kind);
        const std::vector<DiscTrack> tracks = {dataTrack(kind, *dir_ / "plain.iso"), audioTrack(75),
                                               audioTrack(40)};
        const fs::path cue = writeDisc(work.path(), "cue", tracks);
        ASSERT_FALSE(cue.empty());
        const fs::path cut = work / kind;
        ASSERT_EQ(run("bchunk -w " + quote(work / "disc.bin") + " " + quote(cue) + " " +
                      quote(cut) + " >/dev/null"),
                  0);
        EXPECT_EQ(readHostFile(cut.string() + "01.iso"), readHostFile(*dir_ / "plain.iso"));
        const fs::path want = work / (std::string(kind) + ".tree");
        fs::copy(*dir_ / "tree", want, fs::copy_options::recursive);
        fs::create_directory(want / "[AUDIO]");
        for (const char* n : {"02", "03"})
            fs::copy(cut.string() + n + ".wav",
                     want / "[AUDIO]" / ("Track " + std::string(n) + ".wav"));
        auto s = openImage(cue);
        expectSameTree(*s, want, false);
    }
}

void rename(const fs::path& sheet, const char* from, const char* to)
{
    fs::rename(sheet.parent_path() / from, sheet.parent_path() / to);
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct Variant
{
    const char* what;
    const char* extra; // make_cue.py's options
    const char* name;  // of the sheet
    void (*edit)(const fs::path& sheet);
};

const Variant kVariants[] = {
    {"plain", "", "disc.cue", nullptr},
    {"CRLF", "--crlf", "disc.cue", nullptr},
    {"Latin-1 name", "--latin1", "disc.cue", nullptr},
    {"a FILE per track", "--split", "disc.cue", nullptr},
    {"unquoted names with spaces", "--split --no-quote", "disc.cue", nullptr},
    {"MOTOROLA audio", "--motorola", "disc.cue", nullptr},
    {"PREGAP", "--pregap-command", "disc.cue", nullptr},
    {"named .txt", "", "disc.txt", nullptr},
    {"named .iso", "", "disc.iso", nullptr},
    {"BIN in another case", "", "disc.cue",
     [](const fs::path& p) { rename(p, "disc.bin", "DISC.BIN"); }},
    {"lower-case keywords", "", "disc.cue",
     [](const fs::path& p) { writeFile(p, lower(readHostFile(p))); }},
    {"BOM, REM and TITLE", "", "disc.cue",
     [](const fs::path& p) {
         writeFile(p, "\xEF\xBB\xBFREM GENRE Test\r\nREM COMMENT \"by hand\"\nTITLE \"Disc\"\n" +
                          readHostFile(p));
     }},
};

// Each way of writing the sheet gives the same tree, WAV files and disc
// addresses: the data track, then audio tracks with 150 and 30 sectors of
// pregap, stored (INDEX 00) or not (PREGAP).
TEST_F(CueSheets, WaysOfWritingASheetReadAlike)
{
    const std::vector<DiscTrack> tracks = {dataTrack("mode1", *dir_ / "plain.iso"),
                                           audioTrack(75, 150), audioTrack(40, 30)};
    const std::uint32_t data = std::uint32_t(fs::file_size(*dir_ / "plain.iso") / 2048);
    const std::uint32_t starts[] = {0, data + 150, data + 150 + 75 + 30};
    const std::uint32_t sectors[] = {data, 75, 40};
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.what);
        TempDir work;
        const fs::path sheet = writeDisc(work.path(), "cue", tracks, v.extra, v.name);
        ASSERT_FALSE(sheet.empty());
        if (v.edit)
            v.edit(sheet);
        vbe::Result result;
        const VbeImageFacts f = facts(sheet, &result);
        ASSERT_EQ(result, vbe::kOk) << utf8(f.firstDamage);
        EXPECT_STREQ(f.container, "cue");
        ASSERT_EQ(f.trackCount, 3u);
        for (unsigned i = 0; i < 3; ++i) {
            EXPECT_EQ(f.tracks[i].startLba, starts[i]) << i;
            EXPECT_EQ(f.tracks[i].sectors, sectors[i]) << i;
        }
        EXPECT_STREQ(f.tracks[0].mode, "MODE1/2352");
        std::vector<DiscTrack> shown = tracks;
        if (std::string(v.extra) == "--pregap-command")
            for (DiscTrack& t : shown)
                t.pregap = 0;
        auto s = openImage(sheet);
        expectDisc(*s, *dir_ / "tree", shown);
    }
}

struct Hostile
{
    const char* what;
    std::string sheet;
    vbe::Result result;
    const char* says; // part of the reason given
};

std::string manyTracks()
{
    std::string s = "FILE \"disc.bin\" BINARY\n";
    for (int i = 0; i < 10000; ++i)
        s += "TRACK " + std::to_string(i % 99 + 1) + " AUDIO\nINDEX 01 00:00:00\n";
    return s;
}

// Sheets beside a good BIN (disc.bin: a MODE1/2352 track and 75 sectors
// of audio) that must fail fast, with the right result and a reason.
TEST_F(CueSheets, HostileSheetsFailWithAReason)
{
    TempDir work;
    ASSERT_FALSE(
        writeDisc(work.path(), "cue", {dataTrack("mode1", *dir_ / "plain.iso"), audioTrack(75)})
            .empty());
    writeFile(work / "disc.wav", "RIFF");
    const std::string track = "FILE \"disc.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:01:00\n";
    const Hostile kHostile[] = {
        {"10,000 tracks", manyTracks(), vbe::kCorrupt, "more than 99 tracks"},
        {"FILE missing", "FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         vbe::kFileNotFound, "“gone.bin”"},
        {"FILE absolute",
         "FILE \"" + (work / "disc.bin").string() +
             "\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         vbe::kCorrupt, "leaves its folder"},
        {"FILE climbing", "FILE \"../disc.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         vbe::kCorrupt, "leaves its folder"},
        {"INDEX backwards", track + "TRACK 02 AUDIO\nINDEX 01 00:00:30\n", vbe::kCorrupt,
         "backwards"},
        {"INDEX beyond the BIN", track + "TRACK 02 AUDIO\nINDEX 01 90:00:00\n", vbe::kCorrupt,
         "beyond the end"},
        {"INDEX 01 before INDEX 00",
         track + "TRACK 02 AUDIO\nINDEX 00 00:02:00\nINDEX 01 00:01:50\n", vbe::kCorrupt,
         "before its INDEX 00"},
        {"WAVE file", "FILE \"disc.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", vbe::kCorrupt,
         "Track 01 is stored in a WAVE file"},
        {"unknown mode", "FILE \"disc.bin\" BINARY\nTRACK 01 MODE3/2352\nINDEX 01 00:00:00\n",
         vbe::kCorrupt, "MODE3/2352"},
        {"no INDEX 01", "FILE \"disc.bin\" BINARY\nTRACK 01 AUDIO\n", vbe::kCorrupt, "INDEX 01"},
        {"text, not a sheet", "Dear reader,\nFILE this away.\n", vbe::kUnrecognized, ""},
    };
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.what);
        const bool climbs = h.sheet.find("../") != std::string::npos;
        const fs::path at = work / (climbs ? "sub/hostile.cue" : "hostile.cue");
        writeFile(at, h.sheet);
        const auto start = std::chrono::steady_clock::now();
        vbe::Result result;
        const VbeImageFacts f = facts(at, &result);
        EXPECT_EQ(result, h.result);
        EXPECT_NE(utf8(f.firstDamage).find(h.says), std::string::npos) << utf8(f.firstDamage);
        EXPECT_EQ(openImage(at)->openResult, h.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

} // namespace
