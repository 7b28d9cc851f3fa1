// Multi-session and raw-sector images, zisofs compression, files beyond
// 4 GiB, a folder of 60,000 entries.
#include "SdkSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

// Named like any other image: the layout is found by content.
TEST(RawSectorImages, ReadLikeThePlainImage)
{
    TempDir dir;
    writeRichTree(dir / "tree");
    const fs::path plain = makeIso(dir, dir / "tree", "-R -J -joliet-long");
    for (const char* kind : {"mode1", "mode2form1", "2336"}) {
        SCOPED_TRACE(kind);
        const fs::path raw = dir / (std::string(kind) + ".rdf");
        ASSERT_EQ(run(std::string(kPython) + " " + quote(scriptDir() / "wrap_raw.py") + " " + kind +
                      " " + quote(plain) + " " + quote(raw)),
                  0);
        expectSameTree(*openImage(raw), dir / "tree");
    }
}

// Two sessions as a recorder leaves them: the second starts after a gap and
// refers to the first one's files. The last session is shown.
TEST(MultiSession, LastSessionIsShown)
{
    TempDir dir;
    writeFile(dir / "one/kept.txt", "from the first session\n");
    writeFile(dir / "one/replaced.txt", "old content\n");
    writeFile(dir / "one/sub/deep.txt", "deep\n");
    const fs::path s1 = makeIso(dir, dir / "one", "-R -J");
    const std::uint64_t next = fs::file_size(s1) / 2048 + 150;

    writeFile(dir / "two/added.txt", "from the second session\n");
    writeFile(dir / "two/replaced.txt", "new content, longer than before\n");
    const fs::path s2 =
        makeIso(dir, dir / "two", "-R -J -M " + quote(s1) + " -C 0," + std::to_string(next));
    fs::path image = dir / "multi.iso";
    fs::copy_file(s1, image);
    fs::resize_file(image, next * 2048);
    ASSERT_EQ(run("cat " + quote(s2) + " >> " + quote(image)), 0);

    writeFile(dir / "want/kept.txt", "from the first session\n");
    writeFile(dir / "want/sub/deep.txt", "deep\n");
    writeFile(dir / "want/added.txt", "from the second session\n");
    writeFile(dir / "want/replaced.txt", "new content, longer than before\n");
    expectSameTree(*openImage(image), dir / "want", false);
}

TEST(Zisofs, CompressedFilesReadDecompressedWithTheirRealSize)
{
    TempDir dir;
    writeRichTree(dir / "tree");
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
        text += "line " + std::to_string(i) + " of a compressible file\n";
    writeFile(dir / "tree/compressible.txt", text);
    writeFile(dir / "tree/zeros.bin", std::string(200000, '\0'));
    setMtime(dir / "tree/compressible.txt", 1'200'000'000);
    setMtime(dir / "tree/zeros.bin", 1'200'000'000);
    // The image really holds compressed data.
    const fs::path stored =
        makeImage("xorriso -outdev %O -map %T / -commit", dir / "tree", dir / "stored.iso");
    for (const char* size : {"32k", "128k"}) {
        SCOPED_TRACE(size);
        const fs::path image =
            makeImage("xorriso -outdev %O -zisofs block_size=" + std::string(size) +
                          " -map %T / -set_filter_r --zisofs / -- -commit",
                      dir / "tree", dir / (std::string(size) + ".iso"));
        EXPECT_LT(fs::file_size(image) + 300000, fs::file_size(stored));
        expectSameTree(*openImage(image), dir / "tree");
    }
}

// xorriso records it in several extents; genisoimage in UDF with its size
// and in ISO 9660 with a wrong one, where the UDF size is shown.
TEST(BeyondFourGiB, FileReadsWholeWithItsSize)
{
    for (const char* command : {"xorriso -outdev %O -file_size_limit off -- -map %T / -commit",
                                "genisoimage -quiet -R -udf -allow-limited-size -o %O %T"}) {
        SCOPED_TRACE(command);
        TempDir dir;
        writeFile(dir / "tree/small.txt", "small\n");
        constexpr std::uint64_t kFourGiB = 4ull << 30;
        writeFile(dir / "tree/big.bin", "");
        fs::resize_file(dir / "tree/big.bin", kFourGiB);
        std::ofstream(dir / "tree/big.bin", std::ios::app) << "MARK4GEND!";
        setMtime(dir / "tree/big.bin", 1'300'000'000);
        const fs::path image = makeImage(command, dir / "tree", dir / "big.iso");
        fs::remove(dir / "tree/big.bin"); // the image is large enough on its own
        auto s = openImage(image);
        ASSERT_TRUE(s->ok());
        Listing l = s->list();
        EXPECT_EQ(l["big.bin"].size, kFourGiB + 10);
        EXPECT_EQ(l["big.bin"].localSeconds, localSeconds(1'300'000'000));
        EXPECT_EQ(s->read("small.txt"), "small\n");
        // Read to its end in large steps: zeros, then the marker.
        std::uint64_t size = 0;
        ASSERT_EQ(s->browser->OpenFile(u"big.bin", &size), vbe::kOk);
        std::vector<char> buf(8 << 20);
        std::string tail;
        std::uint32_t got = 0;
        for (std::uint64_t pos = 0; pos < size; pos += got) {
            ASSERT_EQ(s->browser->ReadFile(buf.data(), std::uint32_t(buf.size()), &got, 0),
                      vbe::kOk);
            ASSERT_NE(got, 0u);
            const std::size_t zeros =
                std::min<std::uint64_t>(got, kFourGiB - std::min(kFourGiB, pos));
            ASSERT_EQ(std::count(buf.begin(), buf.begin() + zeros, '\0'), std::ptrdiff_t(zeros))
                << pos;
            tail.append(buf.data() + zeros, got - zeros);
        }
        EXPECT_EQ(tail, "MARK4GEND!");
    }
}

} // namespace
