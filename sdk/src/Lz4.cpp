#include "Lz4.h"

#include <cstring>

namespace vbe {

namespace {

// Adds the bytes that continue a length of 15: each adds its value, and one
// below 255 ends the length. False when the input ends first.
bool extendLength(const std::uint8_t*& in, const std::uint8_t* end, std::size_t* length)
{
    for (;;) {
        if (in == end)
            return false;
        const std::uint8_t b = *in++;
        *length += b;
        if (b != 255)
            return true;
    }
}

} // namespace

bool lz4DecodeBlock(const std::uint8_t* src, std::size_t srcSize, std::uint8_t* dst,
                    std::size_t dstCapacity, std::size_t* written)
{
    const std::uint8_t* in = src;
    const std::uint8_t* const inEnd = src + srcSize;
    std::size_t out = 0;
    while (in < inEnd) {
        const std::uint8_t token = *in++;
        // A run of literals.
        std::size_t literals = token >> 4;
        if (literals == 15 && !extendLength(in, inEnd, &literals))
            return false;
        if (literals > std::size_t(inEnd - in) || literals > dstCapacity - out)
            return false;
        std::memcpy(dst + out, in, literals);
        in += literals;
        out += literals;
        // The last sequence has literals only.
        if (in == inEnd || out == dstCapacity)
            break;
        // A match: a copy of earlier output, which may overlap what it writes.
        if (inEnd - in < 2)
            return false;
        const std::size_t offset = in[0] | (std::size_t(in[1]) << 8);
        in += 2;
        if (offset == 0 || offset > out)
            return false;
        std::size_t length = token & 15;
        if (length == 15 && !extendLength(in, inEnd, &length))
            return false;
        length += 4;
        if (length > dstCapacity - out)
            return false;
        std::uint8_t* to = dst + out;
        const std::uint8_t* from = to - offset;
        if (offset >= length) {
            std::memcpy(to, from, length);
        } else {
            for (std::size_t i = 0; i < length; ++i)
                to[i] = from[i];
        }
        out += length;
    }
    *written = out;
    return true;
}

} // namespace vbe
