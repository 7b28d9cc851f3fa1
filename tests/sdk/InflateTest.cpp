// The module's own zlib decoder against zlib's encoder.
#include "Inflate.h"

#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

std::vector<std::uint8_t> compress(const std::vector<std::uint8_t>& in, int level, int strategy)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy);
    std::vector<std::uint8_t> out(deflateBound(&z, in.size()) + 16);
    z.next_in = const_cast<std::uint8_t*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

const std::vector<const char*> kWords = {"disc ", "image ", "sector ", "lantern ", "\n", "0123 "};

// n bytes of words picked at random, or of random bytes without words.
std::vector<std::uint8_t> sample(std::size_t n, unsigned seed,
                                 const std::vector<const char*>& words)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n;) {
        if (words.empty()) {
            v[i++] = static_cast<std::uint8_t>(rng());
            continue;
        }
        for (const char* w = words[rng() % words.size()]; *w && i < n; ++w)
            v[i++] = static_cast<std::uint8_t>(*w);
    }
    return v;
}

struct Case
{
    const char* name;
    int level;
    int strategy;
    std::vector<const char*> words;
};

// Stored blocks (level 0 and random data), fixed codes (Z_FIXED), dynamic
// codes (text), run-length matches (Z_RLE) and matches at distance 2 that
// overlap what they write, at sizes around block edges.
TEST(InflateRoundTrip, DecodesWhatZlibEncodes)
{
    const Case cases[] = {{"stored", 0, Z_DEFAULT_STRATEGY, kWords},
                          {"fixed", 6, Z_FIXED, kWords},
                          {"dynamic", 9, Z_DEFAULT_STRATEGY, kWords},
                          {"rle", 6, Z_RLE, kWords},
                          {"random", 6, Z_DEFAULT_STRATEGY, {}},
                          {"distance_two", 6, Z_DEFAULT_STRATEGY, {"ab"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t size : {0u, 1u, 257u, 32768u, 70000u}) {
            auto plain = sample(size, static_cast<unsigned>(size) + 7, c.words);
            auto packed = compress(plain, c.level, c.strategy);
            std::vector<std::uint8_t> out(size + 1);
            std::size_t got = 0;
            ASSERT_TRUE(
                vbe::inflateZlib(packed.data(), packed.size(), out.data(), out.size(), &got))
                << c.name << " size " << size;
            out.resize(got);
            EXPECT_EQ(out, plain) << c.name << " size " << size;
        }
    }
}

TEST(Inflate, RefusesOutputBeyondCapacityAndDamagedStreams)
{
    auto plain = sample(50000, 3, kWords);
    auto packed = compress(plain, 9, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(plain.size());
    std::size_t got = 0;
    EXPECT_FALSE(vbe::inflateZlib(packed.data(), packed.size(), out.data(), out.size() - 1, &got));
    // Every truncation fails cleanly.
    for (std::size_t cut = 0; cut < packed.size(); cut += 97)
        EXPECT_FALSE(vbe::inflateZlib(packed.data(), cut, out.data(), out.size(), &got)) << cut;
    // A flipped bit is caught by the code structure or the check value.
    auto bad = packed;
    bad[bad.size() / 2] ^= 0x10;
    EXPECT_FALSE(vbe::inflateZlib(bad.data(), bad.size(), out.data(), out.size(), &got));
    // A distance reaching before the start of the output.
    // Fixed codes: a match of length 3 at distance 1 as the first symbol.
    const std::uint8_t farBack[] = {0x03, 0x02, 0x00, 0x00};
    EXPECT_FALSE(vbe::inflateRaw(farBack, sizeof farBack, out.data(), out.size(), &got));
    // The same block with a literal first decodes to four bytes.
    const std::uint8_t literalFirst[] = {0x4B, 0x04, 0x02, 0x00};
    ASSERT_TRUE(vbe::inflateRaw(literalFirst, sizeof literalFirst, out.data(), out.size(), &got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "aaaa");
}

} // namespace
