// A decoder for LZ4 blocks (the raw block format, without a frame), as ZSO
// images and CSO images of version 2 store their blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vbe {

// Decodes the LZ4 block src[0, srcSize) into dst, which holds dstCapacity
// bytes, and sets *written to the bytes decoded. Decoding ends at the end of
// the input, or once dst is full after a run of literals: images that pad
// their blocks leave bytes after the last sequence. Fails on a match
// reaching before the start of dst or with an offset of 0, on a length
// running past the input, and on output that would not fit.
bool lz4DecodeBlock(const std::uint8_t* src, std::size_t srcSize, std::uint8_t* dst,
                    std::size_t dstCapacity, std::size_t* written);

} // namespace vbe
