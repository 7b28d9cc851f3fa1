// ISO 9660 images, plain, Rock Ridge and Joliet, made by genisoimage, xorriso
// and pycdlib from trees the tests write, read back entry by entry.
#include "SdkSupport.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

// Times read in Berlin; the zone before comes back afterwards.
struct BerlinTime
{
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    BerlinTime() { setenv("TZ", "Europe/Berlin", 1), tzset(); }
    ~BerlinTime() { before ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ"), tzset(); }
};

// Names that plain ISO 9660 keeps as they are: upper case, 8.3 at level 1.
void writeIsoNamesTree(const fs::path& root)
{
    writeFile(root / "README.TXT", "plain text\n");
    writeFile(root / "EMPTY.DAT", "");
    writeFile(root / "NOEXT", "no extension\n");
    writeFile(root / "SUB/BLOCK.BIN", std::string(2048, 'b'));
    writeFile(root / "SUB/BLOCK1.BIN", std::string(2049, 'c'));
    writeFile(root / "SUB/DEEPER/BIG.BIN", pattern(300000, 4));
    fs::create_directories(root / "EMPTYDIR");
    int i = 0;
    for (auto& e : fs::recursive_directory_iterator(root))
        setMtime(e.path(), 1'100'000'000 + 3607 * i++);
}

enum Tree
{
    IsoNames,
    Rich,
    JolietNames
};
struct Writer
{
    const char* name;
    const char* command; // makeImage's
    Tree tree;
    bool keepsTimes = true; // pycdlib stamps every entry with the time of writing
};

// The whole tree comes back: with Rock Ridge long and case-sensitive names,
// deep folders (relocated by genisoimage), the symbolic link as a small file;
// with Joliet alone its Unicode names, longer than 64 characters with
// -joliet-long; in ISO 9660:1999 the bytes of the names on disk (UTF-8).
// Written in one time zone and read in another, the recorded offset puts
// every time back on the right instant. A folder of 900 files takes more
// than one read of a folder's records.
TEST(Writers, WholeTreeBack)
{
    const Writer cases[] = {
        {"level1", "genisoimage -iso-level 1 -V PLAIN_LABEL -o %O %T", IsoNames},
        {"level3", "genisoimage -iso-level 3 -V PLAIN_LABEL -o %O %T", IsoNames},
        {"iso9660_1999", "genisoimage -iso-level 4 -o %O %T", JolietNames},
        {"genisoimage_R_in_Kolkata", "TZ=Asia/Kolkata genisoimage -R -o %O %T", Rich},
        {"genisoimage_R_J", "genisoimage -R -J -joliet-long -o %O %T", Rich},
        {"xorriso", "xorriso -outdev %O -map %T / -commit", Rich},
        {"xorriso_joliet", "xorriso -outdev %O -joliet on -map %T / -commit", Rich},
        {"pycdlib", "/usr/bin/python3 %S/pycdlib_image.py %T %O", Rich, false},
        {"genisoimage_J_in_Anchorage", "TZ=America/Anchorage genisoimage -J -joliet-long -o %O %T",
         JolietNames},
        {"xorriso_J",
         "xorriso -outdev %O -rockridge off -joliet on -compliance joliet_long_names "
         "-map %T / -commit",
         JolietNames}};
    const BerlinTime berlin;
    for (const Writer& w : cases) {
        SCOPED_TRACE(w.name);
        TempDir dir;
        if (w.tree == IsoNames)
            writeIsoNamesTree(dir / "tree");
        else
            writeRichTree(dir / "tree", w.tree == Rich ? TreeOptions{.wide = 900} : kJolietTree);
        const fs::path image = makeImage(w.command, dir / "tree", dir / "image.iso");
        auto s = openImage(image);
        expectSameTree(*s, dir / "tree", w.keepsTimes);
        if (w.tree == IsoNames) {
            EXPECT_EQ(s->label(), u"PLAIN_LABEL");
        }
    }
}

// ISO 9660:1999 without Rock Ridge or Joliet records each name's bytes as
// they are on disk: a name that is not valid UTF-8 reads as Latin-1. A hidden
// entry is shown, with its attribute.
TEST(Iso9660_1999, NamesThatAreNotUtf8ReadAsLatin1AndHiddenEntriesAreShown)
{
    TempDir dir;
    writeFile(dir / "tree/Sübdir/caf\xE9.txt", "latin-1\n");
    writeFile(dir / "tree/secret.txt", "s");
    auto s = openImage(makeIso(dir, dir / "tree", "-iso-level 4 -hidden secret.txt"));
    ASSERT_TRUE(s->ok());
    std::map<std::string, std::uint32_t> attributes;
    for (const auto& [path, item] : s->list())
        attributes[path] = item.attributes;
    EXPECT_EQ(attributes,
              (std::map<std::string, std::uint32_t>{{"Sübdir", vbe::kAttrDirectory},
                                                    {"Sübdir/café.txt", vbe::kAttrNormal},
                                                    {"secret.txt", vbe::kAttrHidden}}));
    EXPECT_EQ(s->read("Sübdir/café.txt"), "latin-1\n");
    EXPECT_EQ(s->read("secret.txt"), "s");
}

} // namespace
