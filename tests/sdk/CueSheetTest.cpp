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

// A folder with a small tree and its ISO image, made once.
const fs::path& shared()
{
    static TempDir dir;
    static const fs::path path = [] {
        writeFile(dir / "tree/readme.txt", "read me\n");
        writeFile(dir / "tree/sub/café.dat", std::string(70000, 'c'));
        EXPECT_EQ(run("genisoimage -quiet -R -J -o " + quote(dir / "plain.iso") + " " +
                      quote(dir / "tree")),
                  0);
        return dir.path();
    }();
    return path;
}

// What the module makes of the image: its result, the tracks and why it
// failed.
VbeImageFacts facts(const fs::path& image, vbe::Result* result)
{
    static auto read = reinterpret_cast<VbeReadImageFactsFn>(
        dlsym(dlopen(LANTERN_VBE_MODULE, RTLD_NOW | RTLD_LOCAL), "VbeReadImageFacts"));
    VbeImageFacts f{};
    f.structSize = sizeof f;
    *result = read(utf16(image.string()).c_str(), &f);
    return f;
}

// bchunk cuts the tracks of a sheet of 2352-byte sectors (it reads no
// other data modes right) into an ISO and WAV files; ours must hold the
// same. It ends a track at the next INDEX 00, so no pregaps here.
TEST(CueSheets, TracksAreThoseBchunkCuts)
{
    if (!haveTool("bchunk"))
        GTEST_SKIP() << "bchunk is not installed";
    TempDir work;
    for (const char* kind : {"mode1", "mode2form1"}) {
        SCOPED_TRACE(kind);
        const std::vector<DiscTrack> tracks = {dataTrack(kind, shared() / "plain.iso"),
                                               audioTrack(75), audioTrack(40)};
        const fs::path cue = writeDisc(work.path(), "cue", tracks);
        ASSERT_FALSE(cue.empty());
        const fs::path cut = work / kind;
        ASSERT_EQ(run("bchunk -w " + quote(work / "disc.bin") + " " + quote(cue) + " " +
                      quote(cut) + " >/dev/null"),
                  0);
        const fs::path want = work / (std::string(kind) + ".tree");
        fs::copy(shared() / "tree", want, fs::copy_options::recursive);
        fs::create_directory(want / "[AUDIO]");
        for (const char* n : {"02", "03"})
            fs::copy(cut.string() + n + ".wav",
                     want / "[AUDIO]" / ("Track " + std::string(n) + ".wav"));
        auto s = openImage(cue);
        expectSameTree(*s, want, false);
    }
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
     [](const fs::path& p) {
         fs::rename(p.parent_path() / "disc.bin", p.parent_path() / "DISC.BIN");
     }},
    {"lower-case keywords", "", "disc.cue",
     [](const fs::path& p) {
         std::string text = readHostFile(p);
         std::transform(text.begin(), text.end(), text.begin(), ::tolower);
         writeFile(p, text);
     }},
    {"BOM, REM and TITLE", "", "disc.cue",
     [](const fs::path& p) {
         writeFile(p, "\xEF\xBB\xBFREM GENRE Test\r\nREM COMMENT \"by hand\"\nTITLE \"Disc\"\n" +
                          readHostFile(p));
     }},
};

// Each way of writing the sheet gives the same tree, WAV files and disc
// addresses: the data track, then audio tracks with 150 and 30 sectors of
// pregap, stored (INDEX 00) or not (PREGAP).
TEST(CueSheets, WaysOfWritingASheetReadAlike)
{
    const std::vector<DiscTrack> tracks = {dataTrack("mode1", shared() / "plain.iso"),
                                           audioTrack(75, 150), audioTrack(40, 30)};
    const std::uint32_t data = std::uint32_t(fs::file_size(shared() / "plain.iso") / 2048);
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
        expectDisc(*s, shared() / "tree", shown);
    }
}

struct Hostile
{
    const char* what;
    std::string sheet;
    vbe::Result result;
    const char* says; // part of the reason given
};

// A sheet of one audio track in the file named.
std::string sheetOf(const std::string& name, const char* type = "BINARY")
{
    return "FILE \"" + name + "\" " + type + "\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
}

// Sheets beside a good BIN (disc.bin: a MODE1/2352 track and 75 sectors
// of audio) that must fail fast, with the right result and a reason.
TEST(CueSheets, HostileSheetsFailWithAReason)
{
    TempDir work;
    ASSERT_FALSE(
        writeDisc(work.path(), "cue", {dataTrack("mode1", shared() / "plain.iso"), audioTrack(75)})
            .empty());
    writeFile(work / "disc.wav", "RIFF");
    const std::string track = "FILE \"disc.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:01:00\n";
    std::string many = "FILE \"disc.bin\" BINARY\n";
    for (int i = 0; i < 10000; ++i)
        many += "TRACK " + std::to_string(i % 99 + 1) + " AUDIO\nINDEX 01 00:00:00\n";
    const Hostile kHostile[] = {
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
