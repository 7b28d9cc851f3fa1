// UDF images and hybrid images: made by genisoimage, pycdlib, mkudffs and our
// own writer (make_udf.py) from trees the tests write, read back entry by entry.
#include "SdkSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>

using namespace sdktest;

namespace {

// A tree every UDF writer here can hold: names of up to 200 characters (UDF
// keeps at most 254 per name), 8- and 16-bit names, a symbolic link.
void writeUdfTree(const fs::path& root)
{
    writeRichTree(root, {.longest = 200, .depth = 10});
}

const std::string kUdfWriter = std::string(kPython) + " %S/make_udf.py %T %O ";
// The writer adds a block device to the root, shown as an empty entry of its
// kind, and a named stream, left out; --plain writes neither.
const std::map<std::string, std::uint32_t> kWriterDevice{{"device node", vbe::kUnixBlockDevice}};

struct Variant
{
    const char* name;
    std::string command;    // makeImage's
    std::uint64_t pad = 0;  // zeros appended to the image
    bool keepsTimes = true; // pycdlib stamps every entry with the time of writing
};

TEST(UdfImages, SameTreeBack)
{
    const Variant cases[] = {
        {"udf102_short", kUdfWriter + "--rev 1.02"},
        {"udf201_efe_long", kUdfWriter + "--rev 2.01 --efe --ad long"},
        {"udf201_extended_ads_chain", kUdfWriter + "--rev 2.01 --ad ext --chain"},
        {"udf201_embedded", kUdfWriter + "--rev 2.01 --embed"},
        {"udf201_strategy4096", kUdfWriter + "--rev 2.01 --strategy 4096"},
        {"udf250_metadata", kUdfWriter + "--rev 2.50 --metadata --efe"},
        {"udf260_metadata_chain_4096",
         kUdfWriter + "--rev 2.60 --metadata --efe --ad ext --chain --strategy 4096"},
        {"udf250_damaged_main_metadata",
         kUdfWriter + "--rev 2.50 --metadata --efe --damage-main-metadata"},
        {"udf250_damaged_metadata_file",
         kUdfWriter + "--rev 2.50 --metadata --efe --damage-metadata-file"},
        {"anchor_at_the_end_only", kUdfWriter + "--damage-first-anchor"},
        {"reserve_descriptor_sequence", kUdfWriter + "--damage-main-vds --bs 512"},
        {"blocks512", kUdfWriter + "--bs 512 --chain"},
        {"blocks1024", kUdfWriter + "--bs 1024 --ad long"},
        {"blocks4096", kUdfWriter + "--bs 4096 --chain --embed"},
        {"sparable_with_spared_packet", kUdfWriter + "--rev 2.01 --sparable"},
        {"vat", kUdfWriter + "--rev 2.01 --vat --chain --ad long"},
        // The VAT of a write-once disc is still found past blocks of zeros.
        {"vat_and_2048_zeros", kUdfWriter + "--rev 2.01 --vat", 2048},
        {"vat_and_300_blocks_of_zeros", kUdfWriter + "--rev 2.01 --vat", 2048 * 300},
        {"vat_and_32MiB_of_zeros", kUdfWriter + "--rev 2.01 --vat", 32u << 20},
        // genisoimage cuts UDF names at 103 characters and writes links as
        // empty files: the better records of its Rock Ridge tree are taken.
        {"genisoimage_long_names", "genisoimage -quiet -R -udf -o %O %T"},
        {"pycdlib", std::string(kPython) + " %S/pycdlib_udf.py %T %O", 0, false},
        {"damaged_udf_root_falls_back_to_rock_ridge",
         "genisoimage -quiet -R -udf -o %O.whole %T && " + std::string(kPython) +
             " %S/make_hostile.py udf_root_checksum %O.whole %O"}};
    for (const Variant& v : cases) {
        SCOPED_TRACE(v.name);
        TempDir dir;
        writeUdfTree(dir / "tree");
        const fs::path image = makeImage(v.command, dir / "tree", dir / "u.img");
        fs::resize_file(image, fs::file_size(image) + v.pad);
        auto s = openImage(image);
        const bool ours = v.command.find("make_udf.py") != std::string::npos;
        expectSameTree(*s, dir / "tree", v.keepsTimes,
                       ours ? kWriterDevice : std::map<std::string, std::uint32_t>{});
        if (ours) {
            EXPECT_EQ(s->label(), u"Lantern UDF");
        }
    }
}

// Every revision, media type and block size mkudffs makes, in a file sized
// beforehand as a recorder's image is (200 MiB, mostly unwritten).
TEST(MkudffsEmpty, EveryLayoutOpensWithNoEntries)
{
    if (!haveTool("mkudffs"))
        GTEST_SKIP() << "mkudffs is not installed";
    // Each media type and the revisions from the first to the last it takes.
    const char* const revisions[] = {"1.02", "1.50", "2.00", "2.01", "2.50", "2.60"};
    const std::tuple<const char*, int, int> media[] = {
        {"hd", 0, 3},   {"dvd", 0, 3}, {"dvdram", 0, 3}, {"cd", 0, 3}, {"dvdrw", 1, 3},
        {"cdrw", 1, 3}, {"cdr", 1, 5}, {"dvdr", 1, 5},   {"bdr", 4, 5}};
    std::vector<std::string> layouts = {"-m hd -r 1.02 -b 512", "-m hd -r 1.50 -b 1024",
                                        "-m hd -r 2.01 -b 4096", "-m hd -r 2.01 --strategy=4096"};
    for (const auto& [type, first, last] : media)
        for (int r = first; r <= last; ++r)
            layouts.push_back(std::string("-m ") + type + " -r " + revisions[r]);
    for (const std::string& layout : layouts) {
        SCOPED_TRACE(layout);
        TempDir dir;
        const fs::path image = dir / "empty.udf";
        ASSERT_EQ(run("truncate -s 200M " + quote(image)), 0);
        ASSERT_EQ(run("mkudffs " + layout + " --label=Empty " + quote(image)), 0);
        auto s = openImage(image);
        ASSERT_TRUE(s->ok()) << std::hex << s->openResult << " " << s->scanResult;
        EXPECT_TRUE(s->list().empty());
        EXPECT_EQ(s->label(), u"Empty");
        EXPECT_EQ(s->counts(), std::make_pair(0u, 0u));
    }
}

// One structure damaged each: the scan ends within a second, failed or with
// the bad entry left out and every entry shown reading as in the tree.
TEST(UdfHostile, BoundedAndLeftOut)
{
    const std::tuple<const char*, const char*, bool, const char*> cases[] = {
        // make_udf.py --hostile, its other options, whether the rest of the
        // tree stands, an entry that must be left out
        {"dir-loop", "", true, "level1/loop"},
        {"ad-loop", "--chain", true, "data/random.bin"},
        {"indirect-loop", "--strategy 4096", true, ""},
        {"bad-checksum", "", false, ""},
        {"bad-crc", "", false, ""},
        {"block-size-0", "", false, ""},
        {"fid-past-end", "", true, ""},
        {"huge-extent", "", true, "data/random.bin"},
        {"partition-too-long", "", true, ""},
        {"vat-outside", "--vat", false, ""},
    };
    TempDir dir;
    writeUdfTree(dir / "tree");
    const Listing want = listHostTree(dir / "tree");
    for (const auto& [kind, options, opens, missing] : cases) {
        SCOPED_TRACE(kind);
        const fs::path image = makeImage(kUdfWriter + options + " --hostile " + kind, dir / "tree",
                                         dir / (std::string(kind) + ".img"));
        const auto start = std::chrono::steady_clock::now();
        auto s = openImage(image);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        if (!opens) {
            EXPECT_LT(s->scanResult, 0) << "a damaged root must fail the image";
            continue;
        }
        ASSERT_TRUE(s->ok()) << std::hex << s->openResult << " " << s->scanResult;
        const Listing got = s->list();
        EXPECT_EQ(got.count(missing), 0u);
        for (const auto& [path, item] : got) {
            if (kWriterDevice.count(path)) {
                EXPECT_EQ(item.unixMode & vbe::kUnixTypeMask, vbe::kUnixBlockDevice);
                EXPECT_EQ(item.size, 0u);
                continue;
            }
            ASSERT_TRUE(want.count(path)) << "unexpected: " << path;
            const fs::path host = dir / "tree" / path;
            auto content = item.directory ? std::nullopt : s->read(path);
            if (content) {
                EXPECT_TRUE(*content == (fs::is_symlink(host) ? fs::read_symlink(host).string()
                                                              : readHostFile(host)))
                    << path;
            }
        }
    }
}

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
    auto s = openImage(
        makeImage(kUdfWriter + "--plain --hostile slash-names", dir / "tree", dir / "names.img"));
    ASSERT_TRUE(s->ok());
    std::set<std::string> paths;
    for (const auto& [path, item] : s->list())
        paths.insert(path + "=" + s->read(path).value_or("?"));
    EXPECT_EQ(paths, (std::set<std::string>{"a_b.txt=1", "bell_.txt=2", "line_break.txt=3",
                                            "back_slash.txt=4", "d_e=?", "d_e/inner.txt=5",
                                            "plain.txt=6"}));
}

} // namespace
