// UDF images and hybrid images: made by genisoimage, pycdlib, mkudffs and our
// own writer (make_udf.py) from trees the tests write, read back entry by entry.
#include "SdkSupport.h"
#include "Trees.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <unistd.h>

using namespace sdktest;

namespace {

// A tree every UDF writer here can hold: names of up to 200 characters (UDF
// keeps at most 254 per name), 8- and 16-bit names, a symbolic link.
void writeUdfTree(const fs::path& root)
{
    TreeOptions o;
    o.longest = 200;
    o.depth = 10;
    writeRichTree(root, o);
}

std::string writerCommand(const std::string& options, const fs::path& tree, const fs::path& out)
{
    return std::string(kPython) + " " + quote(scriptDir() / "make_udf.py") + " " + quote(tree) +
           " " + quote(out) + " " + options;
}

struct Variant
{
    const char* name;
    const char* options;
};

void PrintTo(const Variant& v, std::ostream* os)
{
    *os << v.name;
}

class UdfWriter : public ::testing::TestWithParam<Variant>
{
};

// Every structure the writer can use comes back as the same tree: names,
// kinds, sizes, times and content. The writer adds a block device to the
// root, shown as an empty entry of its kind, and a named stream, left out.
const std::map<std::string, std::uint32_t> kWriterDevice{{"device node", vbe::kUnixBlockDevice}};

TEST_P(UdfWriter, SameTreeBack)
{
    TempDir dir;
    writeUdfTree(dir / "tree");
    fs::path image = dir / "u.img";
    ASSERT_EQ(run(writerCommand(GetParam().options, dir / "tree", image)), 0);
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree", true, kWriterDevice);
    EXPECT_EQ(s->label(), u"Lantern UDF");
}

INSTANTIATE_TEST_SUITE_P(
    Structures, UdfWriter,
    ::testing::Values(Variant{"udf102_short", "--rev 1.02"},
                      Variant{"udf201_efe_long", "--rev 2.01 --efe --ad long"},
                      Variant{"udf201_extended_ads_chain", "--rev 2.01 --ad ext --chain"},
                      Variant{"udf201_embedded", "--rev 2.01 --embed"},
                      Variant{"udf201_strategy4096", "--rev 2.01 --strategy 4096"},
                      Variant{"udf250_metadata", "--rev 2.50 --metadata --efe"},
                      Variant{"udf260_metadata_chain_4096",
                              "--rev 2.60 --metadata --efe --ad ext --chain --strategy 4096"},
                      Variant{"udf250_damaged_main_metadata",
                              "--rev 2.50 --metadata --efe --damage-main-metadata"},
                      Variant{"udf250_damaged_metadata_file",
                              "--rev 2.50 --metadata --efe --damage-metadata-file"},
                      Variant{"anchor_at_the_end_only", "--damage-first-anchor"},
                      Variant{"reserve_descriptor_sequence", "--damage-main-vds --bs 512"},
                      Variant{"blocks512", "--bs 512 --chain"},
                      Variant{"blocks1024", "--bs 1024 --ad long"},
                      Variant{"blocks4096", "--bs 4096 --chain --embed"},
                      Variant{"sparable_with_spared_packet", "--rev 2.01 --sparable"},
                      Variant{"vat", "--rev 2.01 --vat --chain --ad long"}),
    [](const auto& info) { return std::string(info.param.name); });

// genisoimage cuts UDF names at 103 characters and writes symbolic links as
// empty files; its Rock Ridge tree records the whole names and the targets.
// The UDF tree is shown, with the better records of the other tree.
TEST(UdfBridge, GenisoimageLongNamesComeWhole)
{
    TempDir dir;
    writeUdfTree(dir / "tree");
    fs::path image = dir / "bridge.iso";
    ASSERT_EQ(run("genisoimage -quiet -R -udf -o " + quote(image) + " " + quote(dir / "tree") +
                  " 2>/dev/null"),
              0);
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree");
}

// pycdlib writes UDF with 16-bit names and a symbolic link beside an ISO 9660
// tree of made-up short names: the UDF tree is the one shown.
TEST(UdfBridge, PycdlibSixteenBitNamesAndSymlink)
{
    TempDir dir;
    writeUdfTree(dir / "tree");
    fs::path image = dir / "pycdlib.iso";
    ASSERT_EQ(run(std::string(kPython) + " " + quote(scriptDir() / "pycdlib_udf.py") + " " +
                  quote(dir / "tree") + " " + quote(image)),
              0);
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree", false);
}

// With -allow-limited-size genisoimage records a file of 4 GiB and more in
// UDF with its size, and in ISO 9660 with a wrong one: the size shown is the
// whole one, and the file reads to its end.
TEST(UdfBridge, FileBeyondFourGiBKeepsItsUdfSize)
{
    TempDir dir;
    fs::path big = dir / "tree/big.bin";
    writeFile(dir / "tree/small.txt", "small\n");
    const std::uint64_t fourGiB = 4ull << 30;
    {
        int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "MARK4GEND!", 10, fourGiB), 10);
        ::close(fd);
    }
    fs::path image = dir / "big.iso";
    ASSERT_EQ(run("genisoimage -quiet -R -udf -allow-limited-size -o " + quote(image) + " " +
                  quote(dir / "tree") + " 2>/dev/null"),
              0);
    fs::remove(big);

    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    EXPECT_EQ(s->list()["big.bin"].size, fourGiB + 10);
    EXPECT_EQ(s->read("small.txt"), "small\n");
    std::uint64_t size = 0;
    ASSERT_EQ(s->browser->OpenFile(u"big.bin", &size), vbe::kOk);
    ASSERT_EQ(size, fourGiB + 10);
    std::vector<char> buf(8 << 20);
    std::uint64_t pos = 0;
    std::string tail;
    while (pos < size) {
        std::uint32_t got = 0;
        ASSERT_EQ(s->browser->ReadFile(buf.data(), std::uint32_t(buf.size()), &got, 0), vbe::kOk);
        ASSERT_GT(got, 0u) << "at " << pos;
        if (pos + got > fourGiB)
            tail.append(buf.data() + (fourGiB > pos ? fourGiB - pos : 0), buf.data() + got);
        pos += got;
    }
    EXPECT_EQ(tail, "MARK4GEND!");
    s->browser->CloseFile();
}

// A UDF tree that is not sound gives way to the ISO 9660 family of the same
// image rather than failing it.
TEST(UdfBridge, DamagedUdfRootFallsBackToRockRidge)
{
    TempDir dir;
    writeUdfTree(dir / "tree");
    fs::path image = dir / "bridge.iso", damaged = dir / "damaged.iso";
    ASSERT_EQ(run("genisoimage -quiet -R -udf -o " + quote(image) + " " + quote(dir / "tree") +
                  " 2>/dev/null"),
              0);
    ASSERT_EQ(run(std::string(kPython) + " " + quote(scriptDir() / "make_udf_hostile.py") +
                  " root-checksum " + quote(image) + " " + quote(damaged)),
              0);
    auto s = openImage(damaged);
    expectSameTree(*s, dir / "tree");
}

// Empty file systems of every revision and media type mkudffs makes, and
// of each block size: physical, sparable (CD-RW, DVD-RW) and virtual (CD-R,
// DVD-R, BD-R), each written into a file sized beforehand as a recorder's
// image is, its written blocks followed by 200 MiB of unwritten ones.
std::vector<std::string> mkudffsLayouts()
{
    const std::pair<const char*, std::vector<const char*>> media[] = {
        {"hd", {"1.02", "1.50", "2.00", "2.01"}},
        {"dvd", {"1.02", "1.50", "2.00", "2.01"}},
        {"dvdram", {"1.02", "1.50", "2.00", "2.01"}},
        {"cd", {"1.02", "1.50", "2.00", "2.01"}},
        {"dvdrw", {"1.50", "2.00", "2.01"}},
        {"cdrw", {"1.50", "2.00", "2.01"}},
        {"cdr", {"1.50", "2.00", "2.01", "2.50", "2.60"}},
        {"dvdr", {"1.50", "2.00", "2.01", "2.50", "2.60"}},
        {"bdr", {"2.50", "2.60"}}};
    std::vector<std::string> layouts = {"-m hd -r 1.02 -b 512", "-m hd -r 1.50 -b 1024",
                                        "-m hd -r 2.01 -b 4096", "-m hd -r 2.01 --strategy=4096"};
    for (const auto& [type, revisions] : media)
        for (const char* revision : revisions)
            layouts.push_back(std::string("-m ") + type + " -r " + revision);
    return layouts;
}

class MkudffsEmpty : public ::testing::TestWithParam<std::string>
{
};

TEST_P(MkudffsEmpty, OpensWithNoEntries)
{
    if (!haveTool("mkudffs"))
        GTEST_SKIP() << "mkudffs is not installed";
    TempDir dir;
    fs::path image = dir / "empty.udf";
    ASSERT_EQ(run("truncate -s 200M " + quote(image)), 0);
    ASSERT_EQ(run("mkudffs " + GetParam() + " --label=Empty " + quote(image) + " >/dev/null 2>&1"),
              0);
    auto s = openImage(image);
    ASSERT_TRUE(s->ok()) << std::hex << s->openResult << " " << s->scanResult;
    EXPECT_TRUE(s->list().empty());
    EXPECT_EQ(s->label(), u"Empty");
    EXPECT_EQ(s->counts(), std::make_pair(0u, 0u));
}

INSTANTIATE_TEST_SUITE_P(Layouts, MkudffsEmpty, ::testing::ValuesIn(mkudffsLayouts()),
                         [](const auto& info) {
                             std::string name;
                             for (char c : info.param)
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name;
                         });

// Hostile UDF images: one structure damaged each. The scan ends within a
// second with a negative result, or with the bad entry left out while every
// entry that is shown still reads back as in the tree.
struct Hostile
{
    const char* kind;
    const char* options;
    bool opens;          // the rest of the tree is expected to stand
    const char* missing; // an entry that must be left out, or ""
};

void PrintTo(const Hostile& h, std::ostream* os)
{
    *os << h.kind;
}

class UdfHostile : public ::testing::TestWithParam<Hostile>
{
};

TEST_P(UdfHostile, BoundedAndLeftOut)
{
    TempDir dir;
    writeUdfTree(dir / "tree");
    fs::path image = dir / "h.img";
    ASSERT_EQ(run(writerCommand(std::string(GetParam().options) + " --hostile " + GetParam().kind,
                                dir / "tree", image)),
              0);
    auto start = std::chrono::steady_clock::now();
    auto s = openImage(image);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1));
    if (!GetParam().opens) {
        EXPECT_LT(s->scanResult, 0) << "a damaged root must fail the image";
        return;
    }
    ASSERT_TRUE(s->ok()) << std::hex << s->openResult << " " << s->scanResult;
    Listing want = listHostTree(dir / "tree");
    Listing got = s->list();
    if (*GetParam().missing) {
        EXPECT_EQ(got.count(GetParam().missing), 0u);
    }
    for (const auto& [path, item] : got) {
        if (kWriterDevice.count(path)) {
            EXPECT_EQ(item.unixMode & vbe::kUnixTypeMask, vbe::kUnixBlockDevice);
            EXPECT_EQ(item.size, 0u);
            continue;
        }
        auto w = want.find(path);
        ASSERT_NE(w, want.end()) << "unexpected: " << path;
        if (item.directory)
            continue;
        auto content = s->read(path);
        if (!content)
            continue; // a damaged file may fail its reads, never more
        if (fs::is_symlink(dir / "tree" / path))
            EXPECT_EQ(*content, fs::read_symlink(dir / "tree" / path).string());
        else
            EXPECT_TRUE(*content == readHostFile(dir / "tree" / path)) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, UdfHostile,
                         ::testing::Values(Hostile{"dir-loop", "", true, "level1/loop"},
                                           Hostile{"ad-loop", "--chain", true, "data/random.bin"},
                                           Hostile{"indirect-loop", "--strategy 4096", true, ""},
                                           Hostile{"bad-checksum", "", false, ""},
                                           Hostile{"bad-crc", "", false, ""},
                                           Hostile{"block-size-0", "", false, ""},
                                           Hostile{"fid-past-end", "", true, ""},
                                           Hostile{"huge-extent", "", true, "data/random.bin"},
                                           Hostile{"partition-too-long", "", true, ""},
                                           Hostile{"vat-outside", "--vat", false, ""}),
                         [](const auto& info) {
                             std::string n = info.param.kind;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// Where 7-Zip reads the structures (short and long descriptors, 512- and
// 2048-byte blocks, no device entries or named streams, which make it drop or
// refuse the whole tree), its listing is ours.
class UdfSevenZip : public ::testing::TestWithParam<Variant>
{
};

TEST_P(UdfSevenZip, SameListing)
{
    if (!haveTool("7zz"))
        GTEST_SKIP() << "7zz not installed";
    TempDir dir;
    writeFile(dir / "tree/Alpha file.txt", "a\n");
    writeFile(dir / "tree/sub/b.txt", "bb\n");
    writeFile(dir / "tree/sub/deeper/Ünïcødé name.txt", "ccc\n");
    writeFile(dir / "tree/sub/deeper/empty", "");
    fs::create_directories(dir / "tree/empty folder");
    fs::path image = dir / "u.img";
    ASSERT_EQ(run(writerCommand(std::string("--plain ") + GetParam().options, dir / "tree", image)),
              0);
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    std::set<std::string> ours, theirs;
    for (const auto& [path, item] : s->list())
        ours.insert(path + (item.directory ? "/" : " " + std::to_string(item.size)));
    std::string path;
    bool folder = false;
    FILE* p = popen(("7zz l -ba -slt " + quote(image) + " 2>/dev/null").c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[4096];
    while (fgets(line, sizeof line, p)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.pop_back();
        if (l.rfind("Path = ", 0) == 0)
            path = l.substr(7);
        else if (l.rfind("Folder = ", 0) == 0)
            folder = l.substr(9) == "+";
        else if (l.rfind("Size = ", 0) == 0)
            theirs.insert(path + (folder ? "/" : " " + l.substr(7)));
    }
    pclose(p);
    EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Structures, UdfSevenZip,
                         ::testing::Values(Variant{"udf102_short", "--rev 1.02"},
                                           Variant{"udf201_efe_long", "--efe --ad long"},
                                           Variant{"udf201_embedded", "--embed"},
                                           Variant{"blocks512", "--bs 512"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A write-once disc keeps its virtual allocation table in the last block it
// recorded. Copied into a larger file, or read with the blocks a drive
// reports past that one, the image ends in zeros: the table is still found.
class VatPadded : public ::testing::TestWithParam<std::uint64_t>
{
};

TEST_P(VatPadded, ListsTheWholeTree)
{
    TempDir dir;
    writeUdfTree(dir / "tree");
    fs::path image = dir / "vat.img";
    ASSERT_EQ(run(writerCommand("--rev 2.01 --vat", dir / "tree", image)), 0);
    fs::resize_file(image, fs::file_size(image) + GetParam());
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree", true, kWriterDevice);
}

INSTANTIATE_TEST_SUITE_P(Zeros, VatPadded, ::testing::Values(2048u, 2048u * 300, 32u << 20),
                         [](const auto& info) { return std::to_string(info.param) + "_bytes"; });

// Names with control characters, slashes and backslashes (which no Linux
// name holds) are shown with '_' in their place: one path component each.
TEST(UdfNames, SeparatorsAndControlCharactersShownAsUnderscores)
{
    TempDir dir;
    // make_udf.py writes each '%' of a name as '/'.
    writeFile(dir / "tree/a%b.txt", "1");
    writeFile(dir / "tree/bell\x07.txt", "2");
    writeFile(dir / "tree/line\nbreak.txt", "3");
    writeFile(dir / "tree/back\\slash.txt", "4");
    writeFile(dir / "tree/d%e/inner.txt", "5");
    writeFile(dir / "tree/plain.txt", "6");
    fs::path image = dir / "names.img";
    ASSERT_EQ(run(writerCommand("--plain --hostile slash-names", dir / "tree", image)), 0);
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    std::set<std::string> paths;
    for (const auto& [path, item] : s->list())
        paths.insert(path);
    EXPECT_EQ(paths,
              (std::set<std::string>{"a_b.txt", "bell_.txt", "line_break.txt", "back_slash.txt",
                                     "d_e", "d_e/inner.txt", "plain.txt"}));
    EXPECT_EQ(s->read("a_b.txt"), "1");
    EXPECT_EQ(s->read("d_e/inner.txt"), "5");
    EXPECT_EQ(s->read("line_break.txt"), "3");
}

} // namespace
