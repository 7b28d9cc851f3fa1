// UDF field decoding and the choice of records between the trees of a hybrid
// image, on hand-made bytes and trees.
#include "ImageScan.h"
#include "Text.h"
#include "UdfParser.h"

#include <gtest/gtest.h>

using namespace vbe;

namespace {

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
    std::uint8_t t[12] = {};
    std::uint16_t typeZone = 0x1000 | 120;
    t[0] = typeZone & 0xFF;
    t[1] = typeZone >> 8;
    t[2] = 2001 & 0xFF;
    t[3] = 2001 >> 8;
    t[4] = 9, t[5] = 9, t[6] = 3, t[7] = 46, t[8] = 40, t[9] = 50;
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
    std::uint8_t d[32] = {};
    d[0] = 2;                // anchor
    d[10] = 16;              // CRC over the 16 bytes after the tag
    d[12] = 0x00, d[13] = 1; // location 256
    for (int i = 16; i < 32; ++i)
        d[i] = static_cast<std::uint8_t>(i);
    // CRC-ITU-T of 0x10..0x1F.
    std::uint16_t crc = 0;
    for (int i = 16; i < 32; ++i) {
        crc ^= static_cast<std::uint16_t>(d[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    d[8] = crc & 0xFF, d[9] = crc >> 8;
    std::uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4)
            sum = static_cast<std::uint8_t>(sum + d[i]);
    d[4] = sum;
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
    t.entries[0].children = {1, 2};
    t.entries[1].name = std::move(a);
    t.entries[1].size = aSize;
    t.entries[1].extentCount = 1;
    t.entries[1].firstExtent = 0;
    t.entries[2].name = std::move(b);
    t.entries[2].size = 10;
    t.entries[2].extentCount = 1;
    t.entries[2].firstExtent = 1;
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
        EXPECT_EQ(shown.entries[1].name, c.want);
        EXPECT_EQ(shown.entries[1].size, c.wantSize);
        EXPECT_EQ(shown.extents[shown.entries[1].firstExtent].length, c.wantSize);
    }
}

} // namespace
