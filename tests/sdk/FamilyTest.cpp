// Rock Ridge and Joliet images from several writers, and which tree is shown.
#include "SdkSupport.h"
#include "Trees.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <ostream>
#include <set>

using namespace sdktest;

namespace {

struct Writer
{
    const char* name;
    const char* command;    // %T tree, %O output
    bool keepsTimes = true; // pycdlib stamps every entry with the time of writing
};

void PrintTo(const Writer& w, std::ostream* os)
{
    *os << w.name;
}

std::string expand(std::string cmd, const fs::path& tree, const fs::path& out)
{
    for (auto [key, value] : {std::pair{"%T", quote(tree)}, std::pair{"%O", quote(out)},
                              std::pair{"%S", quote(scriptDir())}}) {
        for (std::size_t at; (at = cmd.find(key)) != std::string::npos;)
            cmd.replace(at, 2, value);
    }
    return cmd;
}

// The paths another reader lists, one per line, "/"-separated.
std::set<std::string> pathsBy(const std::string& command)
{
    std::set<std::string> out;
    FILE* p = popen(command.c_str(), "r");
    char line[4096];
    while (p && fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '/'))
            s.pop_back();
        if (s.rfind("Path = ", 0) == 0)
            s = s.substr(7);
        if (!s.empty() && s != ".")
            out.insert(s);
    }
    if (p)
        pclose(p);
    return out;
}

// Where libarchive (and, for Joliet, 7-Zip) read the image correctly, they
// list the same paths as we do.
void expectSamePathsAsOtherReaders(Session& s, const fs::path& image, bool sevenZip)
{
    std::set<std::string> ours;
    for (const auto& entry : s.list())
        ours.insert(entry.first);
    if (haveTool("bsdtar")) {
        EXPECT_EQ(ours, pathsBy("bsdtar -tf " + quote(image) + " 2>/dev/null"));
    }
    if (sevenZip && haveTool("7zz")) {
        EXPECT_EQ(ours,
                  pathsBy("7zz l -ba -slt " + quote(image) + " 2>/dev/null | grep '^Path = '"));
    }
}

class RockRidge : public ::testing::TestWithParam<Writer>
{
};

// The whole rich tree comes back: long and case-sensitive names, deep folders
// (relocated by genisoimage), the symbolic link as a small file, times.
TEST_P(RockRidge, WholeTreeWithNamesTimesAndContent)
{
    TempDir dir;
    writeRichTree(dir / "tree");
    fs::path image = dir / "rr.iso";
    ASSERT_EQ(run(expand(GetParam().command, dir / "tree", image)), 0);
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree", GetParam().keepsTimes);
    expectSamePathsAsOtherReaders(*s, image, false);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, RockRidge,
    ::testing::Values(Writer{"genisoimage_R", "genisoimage -R -o %O %T"},
                      Writer{"genisoimage_R_J", "genisoimage -R -J -joliet-long -o %O %T"},
                      Writer{"xorriso", "xorriso -outdev %O -map %T / -commit"},
                      Writer{"xorriso_joliet", "xorriso -outdev %O -joliet on -map %T / -commit"},
                      Writer{"pycdlib", "/usr/bin/python3 %S/pycdlib_image.py %T %O", false}),
    [](const auto& info) { return std::string(info.param.name); });

class Joliet : public ::testing::TestWithParam<Writer>
{
};

// Without Rock Ridge, Joliet's names: Unicode, case kept, longer than 64
// characters with -joliet-long.
TEST_P(Joliet, UnicodeNamesWithoutRockRidge)
{
    TempDir dir;
    TreeOptions o;
    o.symlinks = false;
    o.beyondBmp = false;
    o.longest = 103;
    o.depth = 6; // genisoimage leaves out what lies deeper than 8 levels without -R
    writeRichTree(dir / "tree", o);
    fs::path image = dir / "joliet.iso";
    ASSERT_EQ(run(expand(GetParam().command, dir / "tree", image)), 0);
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree");
    expectSamePathsAsOtherReaders(*s, image, true);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, Joliet,
    ::testing::Values(Writer{"genisoimage", "genisoimage -J -joliet-long -o %O %T"},
                      Writer{"xorriso", "xorriso -outdev %O -rockridge off -joliet on "
                                        "-compliance joliet_long_names -map %T / -commit"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Hidden, HiddenEntriesAreShownWithTheirAttribute)
{
    TempDir dir;
    writeFile(dir / "tree/visible.txt", "v");
    writeFile(dir / "tree/secret.txt", "s");
    fs::path image = dir / "h.iso";
    ASSERT_EQ(
        run("genisoimage -R -hidden secret.txt -o " + quote(image) + " " + quote(dir / "tree")), 0);
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    auto l = s->list();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l["secret.txt"].attributes, vbe::kAttrHidden);
    EXPECT_EQ(l["visible.txt"].attributes, vbe::kAttrNormal);
    EXPECT_EQ(s->read("secret.txt"), "s");
}

// An image written in one time zone and read in another: the recorded offset
// puts every time back on the right instant.
TEST(Times, RecordedOffsetAndLocalTimeOfTheReader)
{
    TempDir dir;
    TreeOptions o;
    o.symlinks = false;
    writeRichTree(dir / "tree", o);
    fs::path rr = dir / "rr.iso";
    fs::path plain = dir / "plain.iso";
    ASSERT_EQ(run("TZ=Asia/Kolkata genisoimage -R -o " + quote(rr) + " " + quote(dir / "tree")), 0);
    ASSERT_EQ(run("TZ=America/Anchorage genisoimage -J -joliet-long -o " + quote(plain) + " " +
                  quote(dir / "tree")),
              0);
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    {
        auto s = openImage(rr);
        expectSameTree(*s, dir / "tree");
        auto j = openImage(plain);
        ASSERT_TRUE(j->ok());
        Listing want = listHostTree(dir / "tree");
        Listing got = j->list();
        EXPECT_EQ(got["docs/readme.txt"].localSeconds, want["docs/readme.txt"].localSeconds);
        EXPECT_EQ(got["data/random.bin"].localSeconds, want["data/random.bin"].localSeconds);
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
