// Images made by genisoimage, xorriso and pycdlib from trees the tests write,
// listed and read back through the module.
#include "SdkSupport.h"

#include <gtest/gtest.h>
#include <set>

using namespace sdktest;

namespace {

constexpr std::int64_t kBaseTime = 1'100'000'000; // 2004-11-09

// Names that plain ISO 9660 keeps as they are: upper case, 8.3 at level 1.
void writeIsoNamesTree(const fs::path& root)
{
    writeFile(root / "README.TXT", "plain text\n");
    writeFile(root / "EMPTY.DAT", "");
    writeFile(root / "NOEXT", "no extension\n");
    writeFile(root / "SUB/BLOCK.BIN", std::string(2048, 'b'));
    writeFile(root / "SUB/BLOCK1.BIN", std::string(2049, 'c'));
    std::string big;
    for (int i = 0; i < 300000; ++i)
        big += static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 3);
    writeFile(root / "SUB/DEEPER/BIG.BIN", big);
    fs::create_directories(root / "EMPTYDIR");
    int i = 0;
    for (auto& e : fs::recursive_directory_iterator(root))
        setMtime(e.path(), kBaseTime + 3607 * i++);
}

class PlainIso : public ::testing::TestWithParam<const char*>
{
};

TEST_P(PlainIso, ListsAndReadsEveryEntry)
{
    TempDir dir;
    writeIsoNamesTree(dir / "tree");
    fs::path image = dir / "plain.iso";
    ASSERT_EQ(run(std::string("genisoimage ") + GetParam() + " -V PLAIN_LABEL -o " + quote(image) +
                  " " + quote(dir / "tree")),
              0);
    auto s = openImage(image);
    expectSameTree(*s, dir / "tree");
    EXPECT_EQ(s->label(), u"PLAIN_LABEL");
}

INSTANTIATE_TEST_SUITE_P(Levels, PlainIso,
                         ::testing::Values("-iso-level 1", "-iso-level 2", "-iso-level 3"),
                         [](const auto& info) { return std::string("Level") + info.param[11]; });

// ISO 9660:1999 (level 4) without Rock Ridge or Joliet records each name's
// bytes as they are on disk: UTF-8 names read as UTF-8, and a name that is
// not valid UTF-8 as Latin-1.
TEST(Iso9660_1999, NamesReadAsUtf8OrElseLatin1)
{
    TempDir dir;
    writeFile(dir / "tree/Ünïcödé.txt", "unicode\n");
    writeFile(dir / "tree/Sübdir/caf\xE9.txt", "latin-1\n");
    writeFile(dir / "tree/plain name.txt", "plain\n");
    fs::path image = dir / "level4.iso";
    ASSERT_EQ(run("genisoimage -quiet -iso-level 4 -o " + quote(image) + " " + quote(dir / "tree")),
              0);
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    std::set<std::string> paths;
    for (const auto& [path, item] : s->list())
        paths.insert(path);
    EXPECT_EQ(paths, (std::set<std::string>{"Ünïcödé.txt", "Sübdir", "Sübdir/café.txt",
                                            "plain name.txt"}));
    EXPECT_EQ(s->read("Ünïcödé.txt"), "unicode\n");
    EXPECT_EQ(s->read("Sübdir/café.txt"), "latin-1\n");
}

TEST(Scan, WaitReportsRunningThenOutcome)
{
    TempDir dir;
    writeIsoNamesTree(dir / "tree");
    fs::path image = dir / "image.adi";
    ASSERT_EQ(run("genisoimage -o " + quote(image) + " " + quote(dir / "tree")), 0);
    auto engine = module().createEngine();
    vbe::ISdkImage* img = nullptr;
    ASSERT_EQ(engine->OpenImage(0, 0x80000000u, utf16(image.string()).c_str(), &img), vbe::kOk);
    vbe::ISdkReader* reader = nullptr;
    engine->CreateReader(vbe::IID_ISdkReader, &reader);
    ASSERT_EQ(reader->SetSource(img), vbe::kOk);
    img->Release(); // the reader keeps its own reference
    ASSERT_EQ(reader->Open(), vbe::kOk);
    EXPECT_EQ(reader->StartTask(5, 0, 0), vbe::kInvalidArg);
    ASSERT_EQ(reader->StartTask(6, 0, 0), vbe::kOk);
    EXPECT_EQ(reader->StartTask(6, 0, 0), vbe::kUnexpected) << "one task at a time";
    vbe::Result r;
    std::uint32_t status = 9;
    float progress = -1;
    while ((r = reader->WaitTask(100, &status, &progress)) == vbe::kTaskRunning) {
        EXPECT_EQ(status, 1u);
        EXPECT_GE(progress, 0.0f);
        EXPECT_LE(progress, 1.0f);
    }
    EXPECT_EQ(r, vbe::kOk);
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(progress, 1.0f);
    EXPECT_EQ(reader->EndTask(), vbe::kOk);

    vbe::ISdkBrowser* browser = nullptr;
    reader->QueryInterface(vbe::IID_ISdkBrowser, reinterpret_cast<void**>(&browser));
    auto data = std::make_unique<vbe::FindData>();
    EXPECT_EQ(browser->FindFirst(u"EMPTYDIR", data.get()), vbe::kNoEntries);
    EXPECT_EQ(browser->FindFirst(u"NOPE", data.get()), vbe::kPathNotFound);
    EXPECT_EQ(browser->FindFirst(u"README.TXT", data.get()), vbe::kPathNotFound);
    ASSERT_EQ(browser->FindFirst(u"SUB\\DEEPER", data.get()), vbe::kOk);
    EXPECT_EQ(utf8(data->name), "BIG.BIN");
    EXPECT_EQ(data->sizeLow, 300000u);
    EXPECT_EQ(data->attributes, vbe::kAttrNormal);
    EXPECT_EQ(browser->FindNext(data.get()), vbe::kNoMoreEntries);
    EXPECT_EQ(browser->FindNext(data.get()), vbe::kNoMoreEntries);
    EXPECT_EQ(browser->FindClose(), vbe::kOk);

    std::uint64_t size = 0;
    EXPECT_EQ(browser->OpenFile(u"SUB", &size), vbe::kAccessDenied);
    EXPECT_EQ(browser->OpenFile(u"SUB\\NOPE", &size), vbe::kFileNotFound);
    std::uint32_t got = 0;
    char buf[16];
    EXPECT_EQ(browser->ReadFile(buf, sizeof buf, &got, 0), vbe::kUnexpected);
    // Odd read sizes still deliver the bytes in order, then 0 bytes at the end.
    ASSERT_EQ(browser->OpenFile(u"SUB\\DEEPER\\BIG.BIN", &size), vbe::kOk);
    EXPECT_EQ(size, 300000u);
    std::string content;
    std::vector<char> chunk(1001);
    do {
        ASSERT_EQ(browser->ReadFile(chunk.data(), 1001, &got, 0), vbe::kOk);
        content.append(chunk.data(), got);
    } while (got > 0);
    EXPECT_TRUE(content == readHostFile(dir / "tree/SUB/DEEPER/BIG.BIN"));
    EXPECT_EQ(browser->CloseFile(), vbe::kOk);
    browser->Release();
    reader->Close();
    reader->ClearSource();
    reader->Release();
    engine->Release();
    EXPECT_EQ(module().canUnloadNow(), vbe::kOk);
}

} // namespace
