#include "Inflate.h"

#include <algorithm>
#include <cstring>

namespace vbe {

namespace {

class BitReader
{
public:
    BitReader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
    // Returns false past the end of the input.
    bool bits(unsigned count, std::uint32_t* value)
    {
        while (have_ < count) {
            if (pos_ >= n_)
                return false;
            buffer_ |= std::uint64_t(p_[pos_++]) << have_;
            have_ += 8;
        }
        *value = static_cast<std::uint32_t>(buffer_ & ((std::uint64_t(1) << count) - 1));
        buffer_ >>= count;
        have_ -= count;
        return true;
    }
    // Up to count bits (at most 32) without taking them; *available says
    // how many are real, fewer only at the end of the input.
    std::uint32_t peek(unsigned count, unsigned* available)
    {
        while (have_ <= 56 && pos_ < n_) {
            buffer_ |= std::uint64_t(p_[pos_++]) << have_;
            have_ += 8;
        }
        *available = have_;
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t(1) << count) - 1));
    }
    // Takes count bits that peek showed to be there.
    void drop(unsigned count)
    {
        buffer_ >>= count;
        have_ -= count;
    }
    void alignToByte()
    {
        buffer_ >>= have_ % 8;
        have_ -= have_ % 8;
    }
    // After alignToByte: whole bytes still buffered go back to the input.
    std::size_t bytePosition() const { return pos_ - have_ / 8; }
    void skipTo(std::size_t pos)
    {
        pos_ = pos;
        buffer_ = 0;
        have_ = 0;
    }
    const std::uint8_t* data() const { return p_; }
    std::size_t size() const { return n_; }

private:
    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
    std::uint64_t buffer_ = 0;
    unsigned have_ = 0;
};

constexpr unsigned kMaxBits = 15;
// Codes up to this long are decoded by one look-up of the next bits.
constexpr unsigned kFastBits = 8;

// Canonical Huffman code: counts per length and symbols ordered by code,
// and a table of the short codes by their bits as they come (the symbol
// shifted by 4, or'ed with the code's length; 0 where no short code fits).
struct Huffman
{
    std::uint16_t count[kMaxBits + 1] = {};
    std::uint16_t symbol[320] = {};
    std::uint16_t fast[1u << kFastBits] = {};

    // Returns false for an over-subscribed set of lengths. Incomplete sets
    // are allowed (a single distance code is legal).
    bool build(const std::uint8_t* lengths, unsigned n)
    {
        std::memset(count, 0, sizeof count);
        for (unsigned i = 0; i < n; ++i)
            ++count[lengths[i]];
        count[0] = 0;
        int left = 1;
        for (unsigned len = 1; len <= kMaxBits; ++len) {
            left <<= 1;
            left -= count[len];
            if (left < 0)
                return false;
        }
        std::uint16_t offs[kMaxBits + 2] = {};
        for (unsigned len = 1; len <= kMaxBits; ++len)
            offs[len + 1] = offs[len] + count[len];
        for (unsigned i = 0; i < n; ++i)
            if (lengths[i])
                symbol[offs[lengths[i]]++] = static_cast<std::uint16_t>(i);
        // Codes are stored most significant bit first: a short code's
        // entries are its bits reversed, followed by every pattern of the
        // bits after it.
        std::memset(fast, 0, sizeof fast);
        unsigned code = 0, index = 0;
        for (unsigned len = 1; len <= kFastBits; ++len, code <<= 1)
            for (unsigned k = 0; k < count[len]; ++k, ++index, ++code) {
                unsigned reversed = 0;
                for (unsigned b = 0; b < len; ++b)
                    reversed |= ((code >> b) & 1u) << (len - 1 - b);
                const auto entry = static_cast<std::uint16_t>(symbol[index] << 4 | len);
                for (unsigned at = reversed; at < (1u << kFastBits); at += 1u << len)
                    fast[at] = entry;
            }
        return true;
    }

    bool decode(BitReader& in, int* out) const
    {
        unsigned available = 0;
        const std::uint16_t entry = fast[in.peek(kFastBits, &available)];
        const unsigned len = entry & 15u;
        if (len != 0 && len <= available) {
            in.drop(len);
            *out = entry >> 4;
            return true;
        }
        return decodeSlow(in, out);
    }

    // Decodes one symbol, reading the code bit by bit.
    bool decodeSlow(BitReader& in, int* out) const
    {
        int code = 0, first = 0, index = 0;
        for (unsigned len = 1; len <= kMaxBits; ++len) {
            std::uint32_t bit;
            if (!in.bits(1, &bit))
                return false;
            code |= static_cast<int>(bit);
            int c = count[len];
            if (code - c < first) {
                *out = symbol[index + (code - first)];
                return true;
            }
            index += c;
            first += c;
            first <<= 1;
            code <<= 1;
        }
        return false;
    }
};

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater
{
public:
    Inflater(BitReader& in, std::uint8_t* out, std::size_t cap) : in_(in), out_(out), cap_(cap) {}

    bool run()
    {
        std::uint32_t last = 0;
        do {
            std::uint32_t type;
            if (!in_.bits(1, &last) || !in_.bits(2, &type))
                return false;
            bool ok = false;
            if (type == 0)
                ok = stored();
            else if (type == 1)
                ok = fixed();
            else if (type == 2)
                ok = dynamic();
            if (!ok)
                return false;
        } while (!last);
        return true;
    }
    std::size_t written() const { return pos_; }

private:
    bool stored()
    {
        in_.alignToByte();
        std::size_t at = in_.bytePosition();
        if (at + 4 > in_.size())
            return false;
        const std::uint8_t* p = in_.data() + at;
        unsigned len = p[0] | (p[1] << 8);
        unsigned nlen = p[2] | (p[3] << 8);
        if ((len ^ 0xFFFFu) != nlen)
            return false;
        if (at + 4 + len > in_.size() || pos_ + len > cap_)
            return false;
        std::memcpy(out_ + pos_, p + 4, len);
        pos_ += len;
        in_.skipTo(at + 4 + len);
        return true;
    }

    bool codes(const Huffman& lit, const Huffman& dist)
    {
        for (;;) {
            int sym;
            if (!lit.decode(in_, &sym))
                return false;
            if (sym < 256) {
                if (pos_ >= cap_)
                    return false;
                out_[pos_++] = static_cast<std::uint8_t>(sym);
            } else if (sym == 256) {
                return true;
            } else {
                sym -= 257;
                if (sym >= 29)
                    return false;
                std::uint32_t extra;
                if (!in_.bits(kLengthExtra[sym], &extra))
                    return false;
                std::size_t len = kLengthBase[sym] + extra;
                int ds;
                if (!dist.decode(in_, &ds) || ds >= 30)
                    return false;
                if (!in_.bits(kDistExtra[ds], &extra))
                    return false;
                std::size_t d = kDistBase[ds] + extra;
                if (d > pos_ || pos_ + len > cap_)
                    return false;
                // The copy may overlap what it writes: a run of one byte is
                // a fill, and longer distances copy d bytes at a time.
                std::uint8_t* to = out_ + pos_;
                if (d == 1)
                    std::memset(to, to[-1], len);
                else
                    for (std::size_t done = 0; done < len; done += d)
                        std::memcpy(to + done, to + done - d, std::min(d, len - done));
                pos_ += len;
            }
        }
    }

    bool fixed()
    {
        // The fixed codes are the same for every stream: built once.
        struct Fixed
        {
            Huffman lit, dist;
            Fixed()
            {
                std::uint8_t lengths[288];
                unsigned i = 0;
                for (; i < 144; ++i)
                    lengths[i] = 8;
                for (; i < 256; ++i)
                    lengths[i] = 9;
                for (; i < 280; ++i)
                    lengths[i] = 7;
                for (; i < 288; ++i)
                    lengths[i] = 8;
                lit.build(lengths, 288);
                for (i = 0; i < 30; ++i)
                    lengths[i] = 5;
                dist.build(lengths, 30);
            }
        };
        static const Fixed kFixed;
        return codes(kFixed.lit, kFixed.dist);
    }

    bool dynamic()
    {
        std::uint32_t hlit, hdist, hclen;
        if (!in_.bits(5, &hlit) || !in_.bits(5, &hdist) || !in_.bits(4, &hclen))
            return false;
        hlit += 257;
        hdist += 1;
        hclen += 4;
        if (hlit > 286 || hdist > 30)
            return false;
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                    11, 4,  12, 3, 13, 2, 14, 1, 15};
        std::uint8_t lengths[320] = {};
        for (unsigned i = 0; i < hclen; ++i) {
            std::uint32_t v;
            if (!in_.bits(3, &v))
                return false;
            lengths[kOrder[i]] = static_cast<std::uint8_t>(v);
        }
        Huffman lencode;
        if (!lencode.build(lengths, 19))
            return false;
        std::memset(lengths, 0, sizeof lengths);
        unsigned index = 0;
        while (index < hlit + hdist) {
            int sym;
            if (!lencode.decode(in_, &sym))
                return false;
            if (sym < 16) {
                lengths[index++] = static_cast<std::uint8_t>(sym);
                continue;
            }
            std::uint8_t value = 0;
            std::uint32_t repeat;
            if (sym == 16) {
                if (index == 0)
                    return false;
                value = lengths[index - 1];
                if (!in_.bits(2, &repeat))
                    return false;
                repeat += 3;
            } else if (sym == 17) {
                if (!in_.bits(3, &repeat))
                    return false;
                repeat += 3;
            } else {
                if (!in_.bits(7, &repeat))
                    return false;
                repeat += 11;
            }
            if (index + repeat > hlit + hdist)
                return false;
            while (repeat--)
                lengths[index++] = value;
        }
        if (lengths[256] == 0)
            return false;
        Huffman lit, dist;
        if (!lit.build(lengths, hlit) || !dist.build(lengths + hlit, hdist))
            return false;
        return codes(lit, dist);
    }

    BitReader& in_;
    std::uint8_t* out_;
    std::size_t cap_;
    std::size_t pos_ = 0;
};

std::uint32_t adler32(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t a = 1, b = 0;
    while (n) {
        std::size_t k = n < 5552 ? n : 5552;
        n -= k;
        while (k--) {
            a += *p++;
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return (b << 16) | a;
}

} // namespace

bool inflateRaw(const std::uint8_t* in, std::size_t inLength, std::uint8_t* out,
                std::size_t outCapacity, std::size_t* outLength)
{
    BitReader bits(in, inLength);
    Inflater inflater(bits, out, outCapacity);
    if (!inflater.run())
        return false;
    *outLength = inflater.written();
    return true;
}

bool inflateZlib(const std::uint8_t* in, std::size_t inLength, std::uint8_t* out,
                 std::size_t outCapacity, std::size_t* outLength)
{
    if (inLength < 6)
        return false;
    const unsigned cmf = in[0], flg = in[1];
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20))
        return false;
    BitReader bits(in + 2, inLength - 2);
    Inflater inflater(bits, out, outCapacity);
    if (!inflater.run())
        return false;
    bits.alignToByte();
    std::size_t end = 2 + bits.bytePosition();
    if (end + 4 > inLength)
        return false;
    const std::uint8_t* c = in + end;
    std::uint32_t check = (std::uint32_t(c[0]) << 24) | (std::uint32_t(c[1]) << 16) |
                          (std::uint32_t(c[2]) << 8) | c[3];
    if (check != adler32(out, inflater.written()))
        return false;
    *outLength = inflater.written();
    return true;
}

} // namespace vbe
