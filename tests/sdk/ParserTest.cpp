// Parser pieces that images made by tools do not reach on purpose, on
// hand-made bytes and trees.
#include "CountingSource.h"
#include "FileReader.h"
#include "ImageScan.h"
#include "IsoParser.h"
#include "PathIndex.h"
#include "Text.h"
#include "UdfParser.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace vbe;

namespace {

// 2001-09-09 01:46:40 UTC is 1,000,000,000 seconds: recorded at UTC, at
// UTC+05:30 (22 quarter hours), at UTC-08:00 and in the long form (with
// hundredths); fields out of range, and a long form of zeros, are no time.
TEST(RecordedTime, OffsetFromUtcIsAppliedAndBadFieldsRefused)
{
    const std::pair<bool, std::vector<std::uint8_t>> times[] = {
        {true, {101, 9, 9, 1, 46, 40, 0}},
        {true, {101, 9, 9, 7, 16, 40, 22}},
        {true, {101, 9, 8, 17, 46, 40, 224}},
        {false, {0, 0, 0, 0, 0, 0, 0}},
        {false, {101, 13, 9, 1, 46, 40, 0}},
        {false, {101, 9, 9, 1, 46, 40, 53}},
        {true, {'2', '0', '0', '1', '0', '9', '0', '9', '0', '3', '4', '6', '4', '0', '2', '5', 8}},
        {false, std::vector<std::uint8_t>(17, '0')}};
    for (const auto& [good, b] : times) {
        std::int64_t t = 0;
        std::uint32_t h = 0;
        const bool valid = b.size() == 7 ? vbe::decodeShortTime(b.data(), &t, &h)
                                         : vbe::decodeLongTime(b.data(), &t, &h);
        EXPECT_EQ(valid, good) << int(b[1]) << " " << int(b[6]);
        if (good) {
            EXPECT_EQ(t, 1000000000);
            EXPECT_EQ(h, b.size() == 7 ? 0u : 25u);
        }
    }
}

TEST(Text, Utf8BeyondSixteenBitsAndInvalidBytes)
{
    const char* s = "a\xF0\x9F\x98\x80z\xC3";
    auto w = vbe::utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(s), std::strlen(s));
    EXPECT_EQ(w, std::u16string(u"a\U0001F600z\uFFFD"));
    EXPECT_EQ(vbe::utf16ToUtf8(u"a\U0001F600z"), "a\xF0\x9F\x98\x80z");
    const char overlong[] = "\xC0\xAF";
    EXPECT_EQ(vbe::utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(overlong), 2),
              std::u16string(u"\uFFFD\uFFFD"));
}

TEST(PathIndex, FindsByExactCaseAndIgnoresEmptyParts)
{
    vbe::Tree t;
    t.entries.resize(5);
    t.entries[0].directory = true;
    t.setName(t.entries[1], u"Dir");
    t.entries[1].directory = true;
    t.setName(t.entries[2], u"dir");
    t.setName(t.entries[3], u"file");
    t.entries[3].parent = 1;
    t.setName(t.entries[4], u"b");
    for (std::uint32_t c : {4u, 2u, 1u})
        t.addChild(0, c);
    t.addChild(1, 3);
    vbe::PathIndex index(t);
    EXPECT_EQ(index.find(u""), 0u);
    EXPECT_EQ(index.find(u"Dir"), 1u);
    EXPECT_EQ(index.find(u"dir"), 2u);
    EXPECT_EQ(index.find(u"Dir\\file"), 3u);
    EXPECT_EQ(index.find(u"\\Dir\\\\file\\"), 3u);
    EXPECT_FALSE(index.find(u"DIR"));
    EXPECT_FALSE(index.find(u"dir\\file")) << "a file is not a folder";
    EXPECT_FALSE(index.find(u"b\\x"));
}

TEST(Scan, AbortStopsWithinAFractionOfASecond)
{
    char templ[] = "/tmp/lantern-abort-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    std::string dir = templ;
    ASSERT_EQ(std::system(("mkdir -p " + dir + "/t && cd " + dir +
                           "/t && for i in $(seq 1 100); do mkdir d$i; done && "
                           "genisoimage -quiet -R -o ../i.iso . >/dev/null 2>&1")
                              .c_str()),
              0);
    int error = 0;
    std::shared_ptr<vbe::ByteSource> file = vbe::FileSource::open(dir + "/i.iso", &error);
    ASSERT_TRUE(file);
    CountingSource slow(file, std::chrono::milliseconds(20));
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0};
    vbe::Tree tree;
    vbe::ScanStatus status = vbe::ScanStatus::Ok;
    std::chrono::steady_clock::time_point stopped;
    std::thread worker([&] {
        status = vbe::scanIso(slow, tree, {&abort, &progress});
        stopped = std::chrono::steady_clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    float seen = progress.load();
    auto asked = std::chrono::steady_clock::now();
    abort = true;
    worker.join();
    std::system(("rm -rf " + dir).c_str());
    EXPECT_EQ(status, vbe::ScanStatus::Aborted);
    EXPECT_LT(stopped - asked, std::chrono::milliseconds(200));
    EXPECT_GT(seen, 0.0f) << "progress moves while the scan runs";
    EXPECT_LT(seen, 1.0f);
}

// A file recorded in 200,000 one-byte parts reads in time proportional to
// its size, also one byte at a time.
TEST(FileReader, ManyPartsReadInLinearTime)
{
    std::vector<std::uint8_t> bytes(4096);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31);
    auto source = std::make_shared<vbe::MemorySource>(bytes.data(), bytes.size());
    vbe::Tree tree;
    tree.entries.resize(2);
    vbe::Entry& e = tree.entries[1];
    const std::uint32_t parts = 200000;
    e.extentCount = parts;
    e.size = parts;
    for (std::uint32_t i = 0; i < parts; ++i)
        tree.extents.push_back({(i * 7u) % bytes.size(), 1});
    vbe::FileReader reader(source, tree, e);
    auto start = std::chrono::steady_clock::now();
    std::uint8_t b = 0;
    for (std::uint32_t i = 0; i < parts; ++i) {
        ASSERT_EQ(reader.read(&b, 1), 1);
        ASSERT_EQ(b, bytes[(i * 7u) % bytes.size()]) << i;
    }
    EXPECT_EQ(reader.read(&b, 1), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Small files stored one after another come in one read of the image, and
// every read, in line or not, returns exactly the bytes asked for.
TEST(GatheredSource, SmallReadsInLineShareOneReadAndEveryReadIsExact)
{
    constexpr std::size_t kSpan = vbe::GatheredSource::kSpan;
    std::vector<std::uint8_t> bytes(3 * kSpan + 1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + i / 251);
    struct Step
    {
        std::uint64_t offset;
        std::size_t n;
        std::int64_t expected; // bytes returned
        int imageReads;        // reads that reached the image, -1 for any
    };
    const std::uint64_t end = bytes.size();
    const Step steps[] = {
        {0, 2048, 2048, 1},                 // the first read goes straight through
        {2048, 3000, 3000, 1},              // next in line: fetches a span
        {8192, 100, 100, 0},                // a small gap: from the span
        {4000, 50, 50, 0},                  // behind the last, still in the span
        {kSpan + 2000, 100, 100, 1},        // across the span's end: straight through
        {kSpan + 2100 + 4096, 500, 500, 1}, // next in line again: a new span
        {5000, 100, 100, 1},                // far behind: straight through
        {kSpan, 32768, 32768, 1},           // large: straight through
        {end - 300, 200, 200, 1},           // far ahead: straight through
        {end - 100, 500, 100, 1},           // next in line at the end: a short span
        {end - 50, 10, 10, 0},              // from that short span
        {end - 20, 50, 20, 0},              // short at the end of the image
        {end, 10, 0, -1},                   // nothing past the end
    };
    auto counting = std::make_shared<CountingSource>(
        std::make_shared<vbe::MemorySource>(bytes.data(), bytes.size()));
    vbe::GatheredSource source(counting);
    for (const Step& s : steps) {
        std::vector<std::uint8_t> got(s.n, 0xEE);
        const std::uint64_t before = counting->reads;
        ASSERT_EQ(source.readAt(s.offset, got.data(), s.n), s.expected) << s.offset;
        if (s.imageReads >= 0) {
            EXPECT_EQ(counting->reads - before, std::uint64_t(s.imageReads)) << s.offset;
        }
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + s.expected, bytes.begin() + s.offset))
            << s.offset;
    }
}

TEST(UdfFields, CompressedUnicodeNames)
{
    const std::uint8_t eight[] = {8, 'A', 0xE9, 'z'};
    EXPECT_EQ(decodeCs0(eight, sizeof eight), u"A\u00e9z");
    // 16-bit, big-endian, with a surrogate pair kept together.
    const std::uint8_t sixteen[] = {16, 0x03, 0xA9, 0xD8, 0x3D, 0xDE, 0x00, 0x00, 'x'};
    EXPECT_EQ(decodeCs0(sixteen, sizeof sixteen), u"\u03a9\U0001F600x");
    const std::uint8_t unknown[] = {7, 'a'};
    EXPECT_TRUE(decodeCs0(unknown, sizeof unknown).empty());
}

TEST(UdfFields, TimeStampsApplyTheirZone)
{
    // 2001-09-09 03:46:40 at UTC+02:00 is 01:46:40 UTC: 1,000,000,000 seconds.
    std::uint8_t t[12] = {120, 0x10, 2001 & 0xFF, 2001 >> 8, 9, 9, 3, 46, 40, 50};
    std::int64_t utc = 0;
    std::uint32_t hundredths = 0;
    ASSERT_TRUE(decodeUdfTime(t, &utc, &hundredths));
    EXPECT_EQ(utc, 1'000'000'000);
    EXPECT_EQ(hundredths, 50u);
    t[4] = 13;
    EXPECT_FALSE(decodeUdfTime(t, &utc, &hundredths));
}

TEST(UdfFields, TagChecksumLocationAndCrc)
{
    // An anchor at 256, its CRC-ITU-T (0x146C) over the 16 bytes 0x10..0x1F.
    std::uint8_t d[32] = {2, 0, 0, 0, 0x93, 0, 0, 0, 0x6C, 0x14, 16, 0, 0, 1};
    for (int i = 16; i < 32; ++i)
        d[i] = static_cast<std::uint8_t>(i);
    EXPECT_TRUE(udfTagValid(d, sizeof d, 2, 256));
    EXPECT_FALSE(udfTagValid(d, sizeof d, 2, 257)) << "recorded elsewhere";
    EXPECT_FALSE(udfTagValid(d, sizeof d, 1, 256)) << "another descriptor";
    d[20] ^= 1;
    EXPECT_FALSE(udfTagValid(d, sizeof d, 2, 256)) << "body changed under its CRC";
    d[20] ^= 1;
    d[4] ^= 1;
    EXPECT_FALSE(udfTagValid(d, sizeof d, 2, 256)) << "bad checksum";
}

Tree twoFiles(std::u16string a, std::uint64_t aSize, std::u16string b)
{
    Tree t;
    t.entries.resize(3);
    t.entries[0].directory = true;
    for (std::uint32_t i : {1u, 2u}) {
        t.addChild(0, i);
        t.setName(t.entries[i], i == 1 ? a : b);
        t.entries[i].size = i == 1 ? aSize : 10;
        t.entries[i].extentCount = 1;
        t.entries[i].firstExtent = i - 1;
    }
    t.extents = {{4096, aSize}, {8192, 10}};
    return t;
}

// Records of the same data extent: the longer name and the larger size win,
// never a name that is not the same name continued, nor one another entry of
// the folder already has.
TEST(HybridRecords, LongerNameAndLargerSizeForTheSameData)
{
    struct Case
    {
        const char16_t *name, *other, *betterName, *otherOther, *want;
        std::uint64_t size, betterSize, wantSize;
    };
    const Case cases[] = {
        {u"cut", u"other", u"cut name in full", u"other", u"cut name in full", 5, 7, 7},
        {u"cut", u"other", u"cu", u"other", u"cut", 5, 3, 5},
        {u"cut", u"other", u"different", u"other", u"cut", 5, 5, 5},
        {u"other", u"other2", u"other2", u"x", u"other", 5, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.betterName));
        Tree shown = twoFiles(c.name, c.size, c.other);
        takeBetterRecords(shown, twoFiles(c.betterName, c.betterSize, c.otherOther));
        EXPECT_EQ(std::u16string(shown.name(1)), c.want);
        EXPECT_EQ(shown.entries[1].size, c.wantSize);
        EXPECT_EQ(shown.extents[shown.entries[1].firstExtent].length, c.wantSize);
    }
}

} // namespace
